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
    if (never_) return;
    const std::string path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + "." + generic + ".lock";
    bool said = false;
    // The same file under the name, and locked: it is this run's to remove.
    auto still_named = [&](int fd) {
        struct stat locked, named;
        return fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
               locked.st_ino == named.st_ino;
    };
    for (;;) {
        int fd, r;
        {
            // A signal between the creation and the following of the file
            // would leave it behind: it waits.
            SignalsHeld held;
            fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0) return;  // the creation of the results will say why
            // A lock is empty (one left by a killed run too): a file with
            // data under the name is someone's file, even the DEM itself,
            // and is neither taken nor removed; the run goes on without.
            struct stat st;
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0) {
                close(fd);
                return;
            }
            r = flock(fd, LOCK_EX | LOCK_NB);
            if (r == 0 && still_named(fd)) {
                remove_on_interrupt(path);
                fd_ = fd;
                path_ = path;
                return;
            }
        }
        if (r != 0 && errno == EWOULDBLOCK) {
            if (!said) {
                err << "tephromat: another run is writing the results " << generic << " in " << folder
                    << " : waiting for it to end\n";
                err.flush();
                said = true;
            }
            // Not followed while waiting: a run interrupted now must not
            // remove the lock of the run it waits for.
            do r = flock(fd, LOCK_EX);
            while (r != 0 && errno == EINTR);
            if (r == 0) {
                SignalsHeld held;
                if (still_named(fd)) {
                    remove_on_interrupt(path);
                    fd_ = fd;
                    path_ = path;
                    return;
                }
            }
        }
        // The run that held the lock removed its file: this one locked a file
        // that no longer has the name, and starts again with a new one.
        close(fd);
        if (r != 0) return;  // no locks on this file system: go on without
    }
}

void ResultsLock::release()
{
    if (fd_ < 0) return;
    SignalsHeld held;  // removed once: the next run's file may take the name
    unlink(path_.c_str());
    keep_after_interrupt(path_);
    close(fd_);
    fd_ = -1;
    path_.clear();
}
