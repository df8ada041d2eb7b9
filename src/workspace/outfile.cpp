#include "outfile.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "run_end.hpp"

OutFile& OutFile::operator=(OutFile&& o) noexcept
{
    if (this != &o) {
        if (f_) std::fclose(f_);
        f_ = o.f_;
        name_ = std::move(o.name_);
        o.f_ = nullptr;
    }
    return *this;
}

OutFile::~OutFile()
{
    if (f_) std::fclose(f_);
}

void OutFile::write_failed()
{
    std::string why = errno ? std::strerror(errno) : "write error";
    fail(cfmt("cannot write %s (%s)", name_.c_str(), why.c_str()));
}

void OutFile::printf(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    errno = 0;
    int r = std::vfprintf(f_, fmt, ap);
    va_end(ap);
    if (r < 0) write_failed();
}

void OutFile::write(const void* data, std::size_t bytes)
{
    errno = 0;
    if (bytes && std::fwrite(data, 1, bytes, f_) != bytes) write_failed();
}

void OutFile::flush()
{
    errno = 0;
    if (f_ && std::fflush(f_) != 0) write_failed();
}

void OutFile::close()
{
    if (!f_) return;
    std::FILE* f = f_;
    f_ = nullptr;
    errno = 0;
    bool bad = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || bad) write_failed();
}
