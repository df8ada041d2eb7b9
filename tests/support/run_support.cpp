#include "run_support.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "run.hpp"
#include "stages.hpp"

namespace fs = std::filesystem;

TempRoot::TempRoot()
{
    std::string tmpl = (fs::temp_directory_path() / "tephromat-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl + "/";
    if (const char* r = std::getenv("TEPHROMAT_ROOT")) {
        had_root_ = true;
        saved_root_ = r;
    }
    setenv("TEPHROMAT_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (had_root_)
        setenv("TEPHROMAT_ROOT", saved_root_.c_str(), 1);
    else
        unsetenv("TEPHROMAT_ROOT");
}

std::string TempRoot::folder(const std::string& name) const
{
    fs::create_directories(path_ + name);
    return path_ + name + "/";
}

std::string maunga_whau_site(const TempRoot& root, const std::string& folder)
{
    const std::string site = root.folder(folder);
    fs::copy_file(std::string(EXAMPLES_DIR) + "/maunga-whau/maunga_whau.asc", site + "maunga_whau.asc",
                  fs::copy_options::overwrite_existing);
    return site;
}

void clip_maunga_whau(const std::string& site)
{
    std::istringstream in(read_file(site + "maunga_whau.asc"));
    std::string text, line;
    for (int k = 0; k < 6 && std::getline(in, line); ++k) text += line + "\n";
    for (int i = 0; i < 61; ++i)
        for (int j = 0; j < 87; ++j) {
            std::string v;
            in >> v;
            text += (i >= 53 || j < 6 ? std::string("-9999") : v) + (j == 86 ? "\n" : " ");
        }
    write_file(site + "maunga_whau.asc", text);
}

RunResult run_program(const std::string& answers, const Stages* stages)
{
    TestWorkspace t(answers);
    if (stages) t.ws.stages = stages;
    int status = run(t.ws);
    return {status, t.console(), t.err.str()};
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream f(path, std::ios::binary);
    f << content;
}

bool file_exists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> list_dir(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void copy_dir_files(const std::string& from, const std::string& to)
{
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from))
        fs::copy_file(e.path(), fs::path(to) / e.path().filename(), fs::copy_options::overwrite_existing);
}

bool is_companion_file(const std::string& name)
{
    for (const char* end : {".png", ".svg", ".hdr", ".prj", "_summary.csv", "_centres_map.csv", "_morphometry.csv",
                            "_contours.csv", "_height_bands.csv", ".gpkg", "_answers.txt", "_command.txt"})
        if (name.ends_with(end)) return true;
    return false;
}

std::vector<std::string> described_only(const std::vector<std::string>& names)
{
    std::vector<std::string> kept;
    for (const std::string& n : names)
        if (!is_companion_file(n)) kept.push_back(n);
    return kept;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
    return s;
}

std::string command_output(const std::string& command, int* status)
{
    std::string out;
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int s = pclose(p);
    if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

bool have_program(const std::string& program)
{
    int status = 0;
    command_output("command -v " + shell_quote(program) + " >/dev/null 2>&1", &status);
    return status == 0;
}

std::string shell_quote(const std::string& s)
{
    std::string q = "'";
    q += replace_all(s, "'", "'\\''");
    q += '\'';
    return q;
}

void allocate_all(Workspace& ws, int nb_lig, int nb_col)
{
    using namespace nrutil;
    ws.nb_lig = nb_lig;
    ws.nb_col = nb_col;
    const int c = nb_col, l = nb_lig;
    ws.itab = imatrice(c, l);
    ws.itab3 = imatrice(c, l);
    ws.dtab = dmatrice(c, l);
    for (UcGrid* g : {&ws.tab, &ws.tab_conv, &ws.tab_co, &ws.tab_cr, &ws.tab_sect, &ws.tab_perim,
                      &ws.pente_ang, &ws.tab_shad1, &ws.tab_shaderos1})
        *g = ucmatrice(c, l);
    for (IGrid* g : {&ws.tab1, &ws.tab_pl, &ws.itab1, &ws.itab2, &ws.ktab, &ws.itab_eros}) *g = imatrice(c, l);
    ws.fonc = ivecteur(std::max(l, c));
    ws.jtab_out = usmatrice(c, l);
    for (DGrid* g : {&ws.dtab_eros, &ws.dtab_shad_in, &ws.dtab_shad_out}) *g = dmatrice(c, l);
}

void set_elevations(Workspace& ws, const std::vector<std::vector<int>>& rows)
{
    const int l = int(rows.size()), c = l ? int(rows[0].size()) : 0;
    allocate_all(ws, l, c);
    for (int i = 0; i < l; ++i)
        for (int j = 0; j < c; ++j) {
            ws.itab[i][j] = ws.itab3[i][j] = rows[i][j];
            ws.dtab[i][j] = rows[i][j];
        }
}
