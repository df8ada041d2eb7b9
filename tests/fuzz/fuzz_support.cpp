#include "fuzz_support.hpp"

#include <stdlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

void fuzz_fail(const char* file, int line, const char* cond, const std::string& what)
{
    std::fprintf(stderr, "\n==== property failed at %s:%d: %s\n==== %s\n", file, line, cond, what.c_str());
    std::fflush(stderr);
    std::abort();
}

bool known_fault(const char* d)
{
    static const std::string known = [] {
        const char* k = std::getenv("TEPHROMAT_FUZZ_KNOWN");
        return " " + std::string(k ? k : "") + " ";
    }();
    for (std::size_t p = known.find(d); p != std::string::npos; p = known.find(d, p + 1)) {
        const std::size_t e = p + std::string(d).size();
        if (!std::isalnum((unsigned char)known[p - 1]) && !std::isalnum((unsigned char)known[e])) return true;
    }
    return false;
}

namespace {
std::string process_root;

void remove_root() { std::error_code ec; fs::remove_all(process_root, ec); }

const std::string& root()
{
    if (process_root.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "tephromat-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        process_root = tmpl + "/";
        setenv("TEPHROMAT_ROOT", process_root.c_str(), 1);
        std::atexit(remove_root);
    }
    return process_root;
}
}  // namespace

FuzzFolder::FuzzFolder() : path_(root() + "site/")
{
    std::error_code ec;
    fs::remove_all(path_, ec);
    fs::create_directory(path_);
}

FuzzFolder::~FuzzFolder()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Snapshot snapshot(const std::string& dir)
{
    Snapshot s;
    for (const auto& e : fs::directory_iterator(dir)) s[e.path().filename().string()] = read_file(e.path().string());
    return s;
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string names(const Snapshot& s)
{
    std::string n;
    for (const auto& [name, bytes] : s) n += " " + name;
    return n;
}

void check_status_and_error_form(int status, const std::string& console)
{
    FUZZ_CHECK(status == 0 || status == 1, "exit status %d", status);
    if (status == 0) return;
    const std::size_t unknown = console.rfind("\n\tFile ");
    if (unknown != std::string::npos && console.find(" unknown\n", unknown) != std::string::npos &&
        console.find('\n', unknown + 1) == console.size() - 1)
        return;
    const std::size_t p = console.rfind("\n\tError : ");
    FUZZ_CHECK(p != std::string::npos, "status 1 without an error message; console ends:\n%s",
               console.substr(console.size() > 400 ? console.size() - 400 : 0).c_str());
    FUZZ_CHECK(console.back() == '\n' && console.find('\n', p + 1) == console.size() - 1,
               "the error message is not the last output, on one line: %s", console.substr(p).c_str());
}

std::size_t find_nan(const std::string& text)
{
    // The words nan, inf and infinity, in any case: C's spelling of a value
    // that is not a number.  Names such as "_info" or "inflow" do not count.
    auto lower = [&](std::size_t k, std::size_t n) {
        std::string w = text.substr(k, n);
        for (char& c : w) c = char(std::tolower((unsigned char)c));
        return w;
    };
    auto word = [&](std::size_t k) {
        return k < text.size() && (std::isalnum((unsigned char)text[k]) || text[k] == '_');
    };
    for (std::size_t k = 0; k + 3 <= text.size(); ++k) {
        const std::string w = lower(k, 3);
        if ((w != "nan" && w != "inf") || (k > 0 && word(k - 1))) continue;
        if (!word(w == "inf" && lower(k + 3, 5) == "inity" ? k + 8 : k + 3)) return k;
    }
    return std::string::npos;
}

bool may_quote_nan(const std::string& input)
{
    std::string lower = input;
    for (char& c : lower) c = char(std::tolower((unsigned char)c));
    return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

void check_no_nan(const std::string& text, const std::string& where)
{
    const std::size_t k = find_nan(text);
    FUZZ_CHECK(k == std::string::npos, "nan or inf in %s: ...%s...", where.c_str(),
               text.substr(k > 60 ? k - 60 : 0, 120).c_str());
}

void check_no_nan_in_files(const Snapshot& files)
{
    for (const auto& [name, bytes] : files) {
        const std::string ext = fs::path(name).extension().string();
        if (ext == ".raw" || ext == ".png") continue;
        check_no_nan(bytes, name);
    }
}

std::vector<std::string> split_tokens(const std::string& text)
{
    std::vector<std::string> t;
    std::size_t k = 0;
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (k < text.size()) {
        while (k < text.size() && space(text[k])) ++k;
        const std::size_t s = k;
        while (k < text.size() && !space(text[k])) ++k;
        if (k > s) t.push_back(text.substr(s, k - s));
    }
    return t;
}
