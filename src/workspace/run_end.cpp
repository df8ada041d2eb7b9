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

std::string visible_excerpt(const std::string& s, std::size_t max_bytes)
{
    std::string v;
    const std::size_t n = s.size() < max_bytes ? s.size() : max_bytes;
    for (std::size_t k = 0; k < n; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[k]);
        if (c >= 32 && c < 127) {
            v += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            v += hex;
        }
    }
    if (s.size() > max_bytes) v += "...";
    return v;
}
