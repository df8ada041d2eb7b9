// How a run ends early.  The driver catches it, prints `message` on the
// console and returns `status` as the exit status of the process.
#pragma once

#include <cstdarg>
#include <cstddef>
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

// The first `max_bytes` bytes of `s` for a message: each byte outside
// printable ASCII written as \xHH, then "..." when `s` is longer.  A token
// of any size (a grid of NUL bytes, a 200 MB word) stays one short line.
std::string visible_excerpt(const std::string& s, std::size_t max_bytes = 40);
