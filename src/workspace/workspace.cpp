#include "workspace.hpp"

#include <malloc.h>
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

#include "interrupt.hpp"

Workspace::Workspace(std::istream& in_, std::ostream& out_)
    : in(&in_), out(&out_), err(&std::cerr)
{
}

Workspace::~Workspace()
{
    for (const Pending& p : pending)
        if (!p.temporary.empty()) keep_after_interrupt(p.temporary);
    // The files still open write into their buffers as they close.
    for (OutFile* f : {&f1d, &finfo, &forient, &fgc, &fslice, &frec1, &fshad1, &feros1, &fshaderos1, &fdrec1,
                       &fdshad1, &fderos1, &fdshaderos1})
        *f = OutFile();
    for (const std::unique_ptr<MemoryFile>& m : memory_files) std::free(m->data);
}

std::string Workspace::memory_text(const std::string& suffix) const
{
    for (std::size_t k = memory_files.size(); k-- > 0;) {
        const MemoryFile& m = *memory_files[k];
        if (m.name.size() >= suffix.size() && m.name.compare(m.name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return m.data ? std::string(m.data, m.size) : std::string();
    }
    return "";
}


namespace {
// The output held on this thread, if any.
thread_local Workspace::HeldOutput* held = nullptr;
}  // namespace

void Workspace::HeldOutput::hold() { held = this; }

void Workspace::HeldOutput::stop()
{
    if (held == this) held = nullptr;
}

void Workspace::HeldOutput::release()
{
    stop();
    ws_.progress.clear();
    ws_.out->write(console_.data(), std::streamsize(console_.size()));
    ws_.finfo.write(report_.data(), report_.size());
    for (Warning& w : warnings_) ws_.warnings.push_back(std::move(w));
    console_.clear();
    report_.clear();
    warnings_.clear();
}

void Workspace::say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    if (held && &held->ws_ == this) {
        held->console_ += s;
    } else {
        progress.clear();
        out->write(s.data(), std::streamsize(s.size()));
    }
}

void Workspace::report(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    if (held && &held->ws_ == this)
        held->report_ += s;
    else
        finfo.write(s.data(), s.size());
}

void Workspace::both(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    if (held && &held->ws_ == this) {
        held->console_ += s;
        held->report_ += s;
        return;
    }
    progress.clear();
    out->write(s.data(), std::streamsize(s.size()));
    finfo.write(s.data(), s.size());
}

void Workspace::warn(const char* code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    both("%s", s.c_str());
    Warning w{code, std::move(s)};
    if (held && &held->ws_ == this)
        held->warnings_.push_back(std::move(w));
    else
        warnings.push_back(std::move(w));
}

namespace {

[[noreturn]] void cannot_create(const std::string& name, int err)
{
    fail(cfmt("cannot create %s (%s)", name.c_str(), err ? std::strerror(err) : "unknown reason"));
}

// A directory in the place of a result is found before anything is written.
void check_replaceable(const std::string& name)
{
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) cannot_create(name, EISDIR);
}

// The permissions a file created with fopen would have.
mode_t created_mode()
{
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return mode_t(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

void Workspace::read_from(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0)
        inputs.push_back({path, static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)});
}

namespace {

// The input that the name `name` stands for (a link itself, not what it
// leads to), or none.
const Workspace::InputFile* input_named(const std::vector<Workspace::InputFile>& inputs, const std::string& name)
{
    struct stat st;
    const bool exists = lstat(name.c_str(), &st) == 0;
    for (const Workspace::InputFile& in : inputs)
        if (name == in.path || (exists && static_cast<unsigned long long>(st.st_dev) == in.device &&
                                static_cast<unsigned long long>(st.st_ino) == in.inode))
            return &in;
    return nullptr;
}

// The name that a result's rename would replace must not be one of the run's
// inputs.
void check_not_an_input(const std::vector<Workspace::InputFile>& inputs, const std::string& name)
{
    if (const Workspace::InputFile* in = input_named(inputs, name))
        fail(cfmt("the result %s would replace the input %s : choose another generic name", name.c_str(),
                  in->path.c_str()));
}

}  // namespace

namespace {

// Creates the temporary file of the result `name` (with the permissions of a
// file created by fopen); returns its descriptor, `temporary` its path.
int create_temporary(const std::vector<Workspace::InputFile>& inputs, const std::string& name,
                     std::string& temporary)
{
    check_replaceable(name);
    check_not_an_input(inputs, name);
    temporary = name + ".tmp-XXXXXX";
    errno = 0;
    begin_creating();
    const int fd = mkstemp(temporary.data());
    if (fd >= 0) remove_on_interrupt(temporary);
    end_creating();
    if (fd < 0) cannot_create(name, errno);
    if (fchmod(fd, created_mode()) != 0) {
        const int err = errno;
        close(fd);
        std::remove(temporary.c_str());
        keep_after_interrupt(temporary);
        cannot_create(name, err);
    }
    return fd;
}

}  // namespace

OutFile Workspace::create(const std::string& name, bool binary)
{
    progress.check();
    // The output DEMs of a run in memory are read from their grids.
    const bool output_dem =
        results_in_memory && (name == nomrec1 || name == nomshad1 || name == nomeros1 || name == nomshaderos1);
    if (discard_results || output_dem) {
        std::FILE* f = std::fopen("/dev/null", binary ? "wb" : "w");
        if (!f) cannot_create("/dev/null", errno);
        return OutFile(f, name);
    }
    if (results_in_memory) {
        auto m = std::make_unique<MemoryFile>();
        m->name = name;
        errno = 0;
        std::FILE* f = open_memstream(&m->data, &m->size);
        if (!f) cannot_create(name, errno);
        memory_files.push_back(std::move(m));
        return OutFile(f, name);
    }
    std::string temporary;
    const int fd = create_temporary(inputs, name, temporary);
    errno = 0;
    std::FILE* f = fdopen(fd, binary ? "wb" : "w");
    if (!f) {
        const int err = errno;
        close(fd);
        std::remove(temporary.c_str());
        keep_after_interrupt(temporary);
        cannot_create(name, err);
    }
    pending.push_back({std::move(temporary), name});
    return OutFile(f, name);
}

namespace {

// A name that exists (a link counts, not what it leads to).
bool exists(const std::string& name)
{
    struct stat st;
    return lstat(name.c_str(), &st) == 0;
}

}  // namespace

std::string Workspace::create_for_gdal(const std::string& name)
{
    progress.check();
    if (discard_results || results_in_memory) return "";
    std::string temporary;
    const int fd = create_temporary(inputs, name, temporary);
    close(fd);
    pending.push_back({std::move(temporary), name});
    return pending.back().temporary;
}

void Workspace::retire(const std::string& name)
{
    // A file the run reads is no earlier run's result.
    if (discard_results || results_in_memory || !exists(name) || input_named(inputs, name)) return;
    pending.push_back({"", name});
}

void Workspace::created_now(const std::string& path)
{
    const auto p =
        std::find_if(pending.begin(), pending.end(), [&](const Pending& f) { return f.temporary == path; });
    if (p != pending.end()) std::rotate(p, p + 1, pending.end());
}

const std::string& Workspace::written_path(const std::string& name) const
{
    for (const Pending& p : pending)
        if (p.name == name && !p.temporary.empty()) return p.temporary;
    return name;
}

void Workspace::close_all()
{
    for (OutFile* f : {&f1d, &finfo, &forient, &fgc, &fslice, &frec1, &fshad1, &feros1,
                       &fshaderos1, &fdrec1, &fdshad1, &fderos1, &fdshaderos1})
        f->close();
    for (const Pending& p : pending) check_replaceable(p.name);
    // A transcript that did not reach the console (a full disk, a closed
    // file) fails the run before its results replace anything.
    if (out && !pending.empty()) {
        errno = 0;
        out->flush();
        if (out->fail()) {
            const int err = errno;
            fail(cfmt("cannot write the standard output%s%s : the results are not written", err ? " : " : "",
                      err ? std::strerror(err) : ""));
        }
    }

    // The results replace an earlier set all together or not at all: the
    // earlier results are first moved aside (a file that may not be replaced,
    // another user's in a shared folder, is found then, before any is
    // replaced), the new ones put in place, and the earlier ones removed;
    // a step that fails puts everything back.  A signal waits until the end.
    SignalsHeld held;
    struct Aside {
        std::string name, backup;
    };
    std::vector<Aside> aside;
    std::size_t placed = 0;
    auto undo = [&] {
        for (std::size_t k = placed; k-- > 0;)
            if (!pending[k].temporary.empty()) std::rename(pending[k].name.c_str(), pending[k].temporary.c_str());
        for (const Aside& a : aside) std::rename(a.backup.c_str(), a.name.c_str());
    };
    for (const Pending& p : pending) {
        if (!exists(p.name)) continue;
        std::string backup = p.name + ".tmp-old-XXXXXX";
        // errno is cleared only when mkstemp succeeded: its own failure (a
        // full disk) is the reason to give.
        const int fd = mkstemp(backup.data());
        if (fd >= 0) errno = 0;
        if (fd < 0 || (close(fd), std::rename(p.name.c_str(), backup.c_str()) != 0)) {
            const int err = errno;
            if (fd >= 0) std::remove(backup.c_str());
            undo();
            fail(cfmt("cannot replace %s (%s) : the earlier results are left as they were", p.name.c_str(),
                      err ? std::strerror(err) : "unknown reason"));
        }
        aside.push_back({p.name, std::move(backup)});
    }
    for (; placed < pending.size(); ++placed) {
        const Pending& p = pending[placed];
        if (p.temporary.empty()) continue;  // retired: only moved aside
        errno = 0;
        if (std::rename(p.temporary.c_str(), p.name.c_str()) != 0) {
            const int err = errno;
            undo();
            cannot_create(p.name, err);
        }
    }
    for (const Aside& a : aside) std::remove(a.backup.c_str());
    for (Pending& p : pending)
        if (!p.temporary.empty()) {
            keep_after_interrupt(p.temporary);
            placed_results.push_back(p.name);
        }
    pending.clear();
    lock.release();
}

void Workspace::remove_created()
{
    OutFile* files[] = {&f1d, &finfo, &forient, &fgc, &fslice, &frec1, &fshad1, &feros1,
                        &fshaderos1, &fdrec1, &fdshad1, &fderos1, &fdshaderos1};
    for (OutFile* f : files) *f = OutFile();  // closes without checking
    for (const Pending& p : pending)
        if (!p.temporary.empty()) {
            std::remove(p.temporary.c_str());
            keep_after_interrupt(p.temporary);
        }
    pending.clear();
    lock.release();
}

void grid_failed(const char* name, int nb_lig, int nb_col, std::size_t element_bytes)
{
    const double mib = double(nb_lig) * double(nb_col) * double(element_bytes) / (1024.0 * 1024.0);
    fail(cfmt("not enough memory for the grid %s (%d lines x %d columns, %.1f MiB)", name, nb_lig, nb_col, mib));
}

void ensure_worker_grids(Workspace& ws, int workers)
{
    const std::size_t need = workers > 1 ? std::size_t(2 * (workers - 1)) : 0;
    if (ws.worker_grids.size() >= need) return;
    ws.worker_grids.resize(need);
    for (nrutil::UcGrid& g : ws.worker_grids)
        if (!g) allocate_grid(g, "of a slice worker", ws.nb_col, ws.nb_lig);
}

void return_large_blocks() { mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024); }
