#include "names.hpp"

#include <cstddef>

#include "run_end.hpp"

namespace {

// A result's name adds at most about 30 bytes (suffix and temporary mark) to
// the generic name: a name of this length still fits a file system's 255.
constexpr std::size_t max_name_bytes = 200;
constexpr std::size_t max_folder_bytes = 1024;

// Control bytes and invalid UTF-8 would end up in the summary and the SVG
// picture, which must be UTF-8 text.
std::string text_problem(const std::string& s)
{
    for (unsigned char c : s)
        if (c < 32 || c == 127) return "it holds control bytes";
    if (!valid_utf8(s)) return "it is not UTF-8 text";
    return {};
}

}  // namespace

bool valid_utf8(const std::string& s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t k = 0; k < n;) {
        const unsigned char c = p[k];
        if (c < 0x80) {
            ++k;
            continue;
        }
        std::size_t len;
        unsigned lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (k + len > n || p[k + 1] < lo || p[k + 1] > hi) return false;
        for (std::size_t m = 2; m < len; ++m)
            if (p[k + m] < 0x80 || p[k + m] > 0xBF) return false;
        k += len;
    }
    return true;
}

std::string folder_problem(const std::string& folder)
{
    if (folder.size() > max_folder_bytes) return cfmt("it is longer than %zu bytes", max_folder_bytes);
    if (folder.front() == '/') return "it is an absolute path: the folder must lie below the root";
    for (std::size_t b = 0; b <= folder.size();) {
        std::size_t e = folder.find('/', b);
        if (e == std::string::npos) e = folder.size();
        if (folder.compare(b, e - b, "..") == 0) return "it has a \"..\" component: the folder must lie below the root";
        b = e + 1;
    }
    return text_problem(folder);
}

std::string file_name_problem(const std::string& name)
{
    if (name.size() > max_name_bytes) return cfmt("it is longer than %zu bytes", max_name_bytes);
    if (name.find('/') != std::string::npos) return "it holds a \"/\": a name, not a path, inside the folder";
    return text_problem(name);
}
