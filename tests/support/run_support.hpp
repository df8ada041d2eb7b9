// Helpers for tests that run stages or the whole program in this process.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "program_stages.hpp"
#include "workspace.hpp"

struct Stages;

// A temporary directory, removed with everything in it at the end of the test.
// As a root it is also the TEPHROMAT_ROOT of the runs made meanwhile.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    // The directory, ending with "/".
    const std::string& path() const { return path_; }
    // path() + name, creating the folder.
    std::string folder(const std::string& name) const;

private:
    std::string path_;
    std::string saved_root_;
    bool had_root_ = false;
};

// The bundled Maunga Whau ESRI grid (maunga_whau.asc, 61 x 87 cells of 10 m)
// copied into `folder` below the root; returns the folder's path.
std::string maunga_whau_site(const TempRoot& root, const std::string& folder = "site");

// The Maunga Whau grid of `site` with its last 8 lines and first 6 columns
// turned into cells without data (-9999, 1014 of 5307), as a clip to a study
// area leaves them.
void clip_maunga_whau(const std::string& site);

struct RunResult {
    int status;
    std::string console;
    std::string errors;  // what the run wrote on its error stream
};

// Runs the whole program on the given answers (one token per line or any
// white space), with TEPHROMAT_ROOT as the TempRoot in force.
RunResult run_program(const std::string& answers, const Stages* stages = nullptr);

// A workspace whose console reads `answers` and writes to a string.
struct TestWorkspace {
    // The program's stages from the start: a test may call a stage that
    // calls another without going through the engine.
    explicit TestWorkspace(const std::string& answers = "") : in(answers), ws(in, out)
    {
        ws.err = &err;
        ws.stages = &program_stages;
    }
    std::istringstream in;
    std::ostringstream out, err;
    Workspace ws;
    std::string console() const { return out.str(); }
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
bool file_exists(const std::string& path);
// File names (not paths) in a directory, sorted.
std::vector<std::string> list_dir(const std::string& path);
void copy_dir_files(const std::string& from, const std::string& to);
// Files that a run writes beside the described outputs: pictures, the slice
// plot, GIS headers, the summary table and the record of the answers.
bool is_companion_file(const std::string& name);
// The names that are not companion files.
std::vector<std::string> described_only(const std::vector<std::string>& names);
// Every occurrence of `from` replaced by `to`.
std::string replace_all(std::string s, const std::string& from, const std::string& to);

// Runs a shell command; its standard output, and its exit status in `status`.
std::string command_output(const std::string& command, int* status = nullptr);
// True when `program` is found on the PATH.
bool have_program(const std::string& program);
// Single-quoted for the shell.
std::string shell_quote(const std::string& s);

// Sets up a workspace grid of elevations from rows of text ("1 2 3", ...),
// with tab and the other work grids allocated at the same size.
void set_elevations(Workspace& ws, const std::vector<std::vector<int>>& rows);
// Allocates every grid of the workspace at nb_lig x nb_col (all zero).
void allocate_all(Workspace& ws, int nb_lig, int nb_col);
