// Shared by the fuzz harnesses: property checks that stop the fuzzer on the
// input at fault, the list of faults known and not yet fixed, a private folder
// for each input, and the properties that every run keeps.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "run_end.hpp"

// A property that does not hold: prints it and aborts, so that libFuzzer saves
// the input as a crash.
#define FUZZ_CHECK(cond, ...)                                              \
    do {                                                                   \
        if (!(cond)) fuzz_fail(__FILE__, __LINE__, #cond, cfmt(__VA_ARGS__)); \
    } while (0)
[[noreturn]] void fuzz_fail(const char* file, int line, const char* cond, const std::string& what);

// True when the decision `d` (for instance "D33") is listed in the environment
// variable TEPHROMAT_FUZZ_KNOWN: the program does not follow it yet, so the
// harnesses steer clear of the inputs that reach the fault or skip its check.
bool known_fault(const char* d);

// The folder "site" below the process's root, empty when made and removed with
// everything in it by the destructor.  The root is a temporary directory made
// on first use, set once as TEPHROMAT_ROOT for the whole process (libFuzzer
// runs every input in one process) and removed when the process exits.
class FuzzFolder {
public:
    FuzzFolder();
    ~FuzzFolder();
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;
    // The folder's path, ending with "/".
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The files of a folder, name -> bytes.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& dir);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
// The names of a snapshot, for messages.
std::string names(const Snapshot& s);

// A console or an error message: status 0, or status 1 with "\n\tError : "
// and one line as the last output (the missing-DEM path ends instead with its
// "File ... unknown" line and the key).
void check_status_and_error_form(int status, const std::string& console);
// Where `text` shows "nan" or "inf" (C's spelling of a value that is not a
// number), or npos.
std::size_t find_nan(const std::string& text);
// Whether a quote of `input` (cut short, its unprintable bytes shown as '?')
// may read nan or inf: the letters appear in it anywhere, in any case.
bool may_quote_nan(const std::string& input);
// No such word in `text`.
void check_no_nan(const std::string& text, const std::string& where);
// The same for every text file of a folder (all but pictures and raw rasters).
void check_no_nan_in_files(const Snapshot& files);

// White-space-separated tokens, as "%s" and istream >> split them.
std::vector<std::string> split_tokens(const std::string& text);
