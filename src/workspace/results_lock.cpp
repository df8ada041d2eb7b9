#include "results_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>

#include "interrupt.hpp"

void ResultsLock::take(const std::string& folder, const std::string& generic, std::ostream& err)
{
    release();
    const std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + "." + generic + ".lock";
    bool said = false;
    for (;;) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return;
        int r = flock(fd, LOCK_EX | LOCK_NB);
        if (r != 0 && errno == EWOULDBLOCK) {
            if (!said) {
                err << "tephromat: another run is writing the results " << generic << " in " << folder
                    << " : waiting for it to end\n";
                err.flush();
                said = true;
            }
            do r = flock(fd, LOCK_EX);
            while (r != 0 && errno == EINTR);
        }
        // The run that held the lock removed its file: this one locks a file
        // that no longer has the name, and starts again with a new one.
        struct stat locked, named;
        if (r == 0 && fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            // Followed only once held: a run interrupted while it waits must
            // not remove the lock of the run it waits for.
            remove_on_interrupt(path);
            fd_ = fd;
            path_ = path;
            return;
        }
        close(fd);
        if (r != 0) return;  // no locks on this file system: go on without
    }
}

void ResultsLock::release()
{
    if (fd_ < 0) return;
    unlink(path_.c_str());
    keep_after_interrupt(path_);
    close(fd_);
    fd_ = -1;
    path_.clear();
}
