// An output file written with printf-style formats.  Every write is checked:
// a failure ends the run with an error that names the file.
#pragma once

#include <cstdio>
#include <string>

class OutFile {
public:
    OutFile() = default;
    OutFile(std::FILE* f, std::string name) : f_(f), name_(std::move(name)) {}
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    OutFile(OutFile&& o) noexcept { *this = std::move(o); }
    OutFile& operator=(OutFile&& o) noexcept;
    ~OutFile();

    bool is_open() const { return f_ != nullptr; }
    const std::string& name() const { return name_; }

    void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void write(const void* data, std::size_t bytes);
    // Hands what is buffered to the system, so that the file can be read back.
    void flush();
    void close();

private:
    [[noreturn]] void write_failed();
    std::FILE* f_ = nullptr;
    std::string name_;
};
