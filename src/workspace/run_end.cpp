#include "run_end.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string vcfmt(const char* fmt, va_list ap)
{
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    std::string s(n > 0 ? std::size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, ap2);
    va_end(ap2);
    return s;
}

std::string cfmt(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    return s;
}

void fail(const std::string& what)
{
    throw RunEnd{1, "\n\tError : " + what + "\n"};
}
