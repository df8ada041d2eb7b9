// How a run ends early.  The driver catches it, prints `message` on the
// console and returns `status` as the exit status of the process.
#pragma once

#include <cstdarg>
#include <string>

struct RunEnd {
    int status;
    std::string message;
};

// "\n\tError : <what>\n", exit status 1.
[[noreturn]] void fail(const std::string& what);

// printf-style formatting into a std::string.
std::string cfmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vcfmt(const char* fmt, va_list ap);
