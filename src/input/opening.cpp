#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dem_crs.hpp"
#include "dialogue.hpp"
#include "input.hpp"
#include "names.hpp"
#include "workspace.hpp"

std::string root_directory()
{
    const char* r = std::getenv("TEPHROMAT_ROOT");
    std::string root;
    if (r && *r) {
        root = r;
        if (root.back() != '/') root += '/';
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home ? home : "") + "/images/";
    }
    return root;
}

namespace {

// True when the DEM exists and can be read; false when there is no such
// file; an error naming the file and the reason otherwise.
bool readable(const std::string& path)
{
    struct stat st;
    errno = 0;
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        fail(cfmt("cannot read %s (%s)", path.c_str(), std::strerror(errno)));
    }
    if (S_ISDIR(st.st_mode)) fail(cfmt("cannot read %s (it is a folder, not a DEM)", path.c_str()));
    // A pipe or a device would block the run or never end.
    if (!S_ISREG(st.st_mode)) fail(cfmt("cannot read %s (it is not a regular file)", path.c_str()));
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) fail(cfmt("cannot read %s (%s)", path.c_str(), std::strerror(errno)));
    std::fclose(f);
    return true;
}

// The missing-DEM path: message, one key, and a failure that a script sees.
[[noreturn]] void dem_unknown(Workspace& ws)
{
    ws.say("\n\tFile %s unknown\n", ws.nomim1.c_str());
    wait_key(ws);
    throw RunEnd{1, ""};
}

// Reads up to `count` integers as "%d%d%d%d%d%d" would: reading stops at the
// first missing or malformed number, whose variable keeps its value.  Returns
// how many were read, or -1 when the file does not open.
int read_descriptor(const std::string& path, int* values, int count)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        fail(cfmt("cannot read the descriptor %s (it is a folder)", path.c_str()));
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        fail(cfmt("cannot read the descriptor %s (it is not a regular file)", path.c_str()));
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        if (errno == ENOENT) return -1;
        fail(cfmt("cannot read the descriptor %s (%s)", path.c_str(), std::strerror(errno)));
    }
    int n = 0;
    int c = std::fgetc(f);
    // A byte-order mark left by an editor is no part of the numbers.
    if (c == 0xEF) {
        if (std::fgetc(f) != 0xBB || std::fgetc(f) != 0xBF) {
            std::fclose(f);
            return 0;
        }
        c = std::fgetc(f);
    }
    while (n < count) {
        while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            c = std::fgetc(f);
        bool neg = false;
        if (c == '+' || c == '-') {
            neg = c == '-';
            c = std::fgetc(f);
        }
        if (c < '0' || c > '9') break;
        long long v = 0;
        for (; c >= '0' && c <= '9'; c = std::fgetc(f))
            if ((v = v * 10 + (c - '0')) > 2147483648LL) {
                std::fclose(f);
                fail(cfmt("the descriptor %s holds a number beyond 32 bits", path.c_str()));
            }
        v = neg ? -v : v;
        if (v > 2147483647LL) {
            std::fclose(f);
            fail(cfmt("the descriptor %s holds a number beyond 32 bits", path.c_str()));
        }
        values[n++] = int(v);
    }
    std::fclose(f);
    return n;
}

// The first characters of a file, printable, for an error message.
std::string file_start(const std::string& path)
{
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; s.size() < 24 && (c = std::fgetc(f)) != EOF;)
            s += c >= 32 && c < 127 ? char(c) : c == '\n' || c == '\r' || c == '\t' ? ' ' : '?';
        std::fclose(f);
    }
    return s;
}

void banner(Workspace& ws)
{
    static const char* const empty = "\n\t*                                                            *";
    ws.say("\n\n\t**************************************************************");
    ws.say("%s", empty);
    ws.say("\n\t*                     TEPHROMAT                              *");
    for (int k = 0; k < 4; ++k) ws.say("%s", empty);
    ws.say("\n\t*              Morphometry of eroded volcanic cones          *");
    ws.say("\n\t*              Free software edition, 2026                   *");
    ws.say("%s", empty);
    ws.say("\n\t*                              Actualization Version 4       *");
    ws.say("\n\t*                                       (December 2018)      *");
    ws.say("%s", empty);
    ws.say("\n\t**************************************************************");
}

const char* const format_menu = "\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t";
const char* const width_menu = "\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t";
const IntCheck zero_or_one = choices(0, 1);

// Results the dialogue has named but not yet created: nothing is created
// before every name is known and checked against the input.
struct Deferred {
    std::string nomdescr1;  // the input descriptor, raw DEMs only
    bool write_descriptor = false;
    int val = 0;
};

void read_raw_input(Workspace& ws, Deferred& later)
{
    ws.itype = ask_int(ws, std::string("\n\ttype of DEM raster :") + width_menu, zero_or_one);
    std::string& nomdescr1 = later.nomdescr1;
    nomdescr1 = ws.nomim1;
    ws.nomim1 += ws.itype == 0 ? "_m2.raw" : "_m4.raw";
    nomdescr1 += ws.itype == 0 ? "_m2.txt" : "_m4.txt";
    if (!readable(ws.nomim1)) dem_unknown(ws);
    ws.read_from(ws.nomim1);

    // lines, columns, width, minimum, maximum, pixel size
    int d[6] = {ws.nb_lig, ws.nb_col, 0, 0, 0, ws.pix_size};
    int n = read_descriptor(nomdescr1, d, 6);
    if (n >= 0) ws.read_from(nomdescr1);
    const std::size_t asked_from = ws.answers.size();
    if (n >= 0 && n < 2)
        fail(cfmt("the descriptor %s does not begin with the numbers of lines and columns: it begins with \"%s\"",
                  nomdescr1.c_str(), file_start(nomdescr1).c_str()));
    if (n >= 0) {
        ws.nb_lig = d[0];
        ws.nb_col = d[1];
        ws.pix_size = d[5];
        if (ws.nb_lig <= 0 || ws.nb_col <= 0)
            fail(cfmt("the descriptor %s gives %d lines and %d columns; both must be above 0",
                      nomdescr1.c_str(), ws.nb_lig, ws.nb_col));
        if (ws.nb_lig > max_dem_side || ws.nb_col > max_dem_side)
            fail(cfmt("the descriptor %s gives %d lines and %d columns; at most %d of each can be read",
                      nomdescr1.c_str(), ws.nb_lig, ws.nb_col, max_dem_side));
    } else {
        ws.say("\n\tNo File %s \n\n", nomdescr1.c_str());
        auto side = [](int v) {
            return v <= 0 ? std::string("at or below 0")
                          : v > max_dem_side ? cfmt("above %d", max_dem_side) : std::string();
        };
        ws.nb_lig = ask_int(ws, "\n\tNumber of lines   ? ", side);
        ws.nb_col = ask_int(ws, "\tNumber of columns ? ", side);
        ws.pix_size = ask_int(ws, "\tPixel size ? ");
        later.write_descriptor = true;
        later.val = ws.itype == 0 ? 2 : 4;
    }
    if (ws.pix_size == 0) ws.pix_size = ask_int(ws, "\n\tPixel Size (in meters) ? ");
    if (n < 0) {
        // A replay finds the descriptor written above, which gives the lines
        // and columns but no pixel size: it is asked the pixel size alone.
        ws.answers.erase(ws.answers.begin() + std::ptrdiff_t(asked_from), ws.answers.end() - 1);
    }
    ws.dpix_size = ws.dsizepix = ws.pix_size;
    raster_lecture(ws);
    ws.Coord_UTM_dem1_OK = false;
}

void allocate_workspace_grids(Workspace& ws)
{
    using namespace nrutil;
    const int c = ws.nb_col, l = ws.nb_lig;
    allocate_grid(ws.tab, "tab", c, l);
    allocate_grid(ws.tab1, "tab1", c, l);
    allocate_grid(ws.tab_conv, "tab_conv", c, l);
    allocate_grid(ws.tab_pl, "tab_pl", c, l);
    for (auto [g, name] : {std::pair{&ws.tab_co, "tab_co"}, {&ws.tab_cr, "tab_cr"}, {&ws.tab_sect, "tab_sect"},
                           {&ws.tab_perim, "tab_perim"}, {&ws.pente_ang, "pente_ang"}, {&ws.tab_shad1, "tab_shad1"},
                           {&ws.tab_shaderos1, "tab_shaderos1"}})
        allocate_grid(*g, name, c, l);
    for (auto [g, name] : {std::pair{&ws.itab1, "itab1"}, {&ws.itab2, "itab2"}, {&ws.ktab, "ktab"},
                           {&ws.itab_eros, "itab_eros"}})
        allocate_grid(*g, name, c, l);
    const int fonc_size = l >= c ? l : c;
    if (!(ws.fonc = ivecteur(fonc_size))) grid_failed("fonc", 1, fonc_size, sizeof(std::int32_t));
    allocate_grid(ws.jtab_out, "jtab_out", c, l);
    for (auto [g, name] : {std::pair{&ws.dtab_eros, "dtab_eros"}, {&ws.dtab_shad_in, "dtab_shad_in"},
                           {&ws.dtab_shad_out, "dtab_shad_out"}})
        allocate_grid(*g, name, c, l);
}

// A generic name can make a result's name that of the DEM or its descriptor
// (the DEM "x_rec1" and the generic name "x"): the run would write over its
// own input.
void check_names_against_input(const Workspace& ws, const std::string& nomdescr1)
{
    for (const std::string* out : {&ws.nominfo, &ws.nomrec1, &ws.nomshad1, &ws.nomeros1, &ws.nomshaderos1,
                                   &ws.desrec1, &ws.desshad1, &ws.deseros1, &ws.desshaderos1, &ws.nomorient,
                                   &ws.nomgc, &ws.nomsurfslice})
        for (const std::string* in : {&ws.nomim1, &nomdescr1})
            if (!out->empty() && *out == *in)
                fail(cfmt("the result %s would replace the input %s : choose another generic name", out->c_str(),
                          in->c_str()));
}

// Every file of the run, with the first lines of the output descriptors.
void create_results(Workspace& ws, const Deferred& later)
{
    if (later.write_descriptor) {
        ws.f1d = ws.create(later.nomdescr1, false);
        ws.f1d.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, later.val);
    }
    ws.finfo = ws.create(ws.nominfo, false);
    if (ws.format_out == 1) {
        const int val = ws.itype_out == 0 ? 2 : 4;
        ws.frec1 = ws.create(ws.nomrec1, true);
        ws.fdrec1 = ws.create(ws.desrec1, false);
        ws.fdrec1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
        ws.fshad1 = ws.create(ws.nomshad1, true);
        ws.fdshad1 = ws.create(ws.desshad1, false);
        ws.fdshad1.printf("%d\n%d\n%d\n%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val, 0, 255, ws.pix_size);
        ws.fdshad1.close();
        ws.feros1 = ws.create(ws.nomeros1, true);
        ws.fderos1 = ws.create(ws.deseros1, false);
        ws.fderos1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
        ws.fshaderos1 = ws.create(ws.nomshaderos1, true);
        ws.fdshaderos1 = ws.create(ws.desshaderos1, false);
        ws.fdshaderos1.printf("%d\n%d\n%d\n%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val, 0, 255, ws.pix_size);
    } else {
        ws.frec1 = ws.create(ws.nomrec1, false);
        ws.fshad1 = ws.create(ws.nomshad1, false);
        ws.feros1 = ws.create(ws.nomeros1, false);
        ws.fshaderos1 = ws.create(ws.nomshaderos1, false);
    }
    ws.forient = ws.create(ws.nomorient, false);
    ws.forient.printf("Orientation\tAltitud\n");
    ws.fgc = ws.create(ws.nomgc, false);
    ws.fslice = ws.create(ws.nomsurfslice, false);
}

}  // namespace

void opening(Workspace& ws)
{
    banner(ws);
    ws.root = root_directory();
    std::string nomdir = ask_name(
        ws, cfmt("\n\n\tName of the File Folder located in the Directory %s ? ", ws.root.c_str()), folder_problem);
    ws.nomim1 = ws.root + nomdir + "/";
    std::string nomfic =
        ask_name(ws, "\n\tName of the DEM to be treated (whitout any extension) ? ", file_name_problem);
    ws.nomim1 += nomfic;

    ws.format = ask_int(ws, std::string("\n\tFormat Type :") + format_menu, zero_or_one);
    Deferred later;
    if (ws.format == 1) {
        read_raw_input(ws, later);
    } else {
        ws.nomim1 += ".asc";
        if (!readable(ws.nomim1)) dem_unknown(ws);
        ws.read_from(ws.nomim1);
        read_dem_prj(ws);
        ascii_lecture(ws);
        ws.Coord_UTM_dem1_OK = true;
    }
    ws.say("\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
    ws.say("\n\t            %d LINES", ws.nb_lig);
    ws.say("\n\t        AND %d COLUMNS\n", ws.nb_col);
    parameters1(ws);

    // Output names.
    ws.say("\n\tSet of Files out : ");
    int rep = ask_int(ws,
                      cfmt("\n\t\t0 -----> Use of the generic name %s ? ", nomfic.c_str()) +
                          "\n\t\t1 -----> Define a new generic name ? \n\t\t",
                      zero_or_one);
    std::string nomfic1 = nomfic;
    if (rep == 1)
        nomfic1 = ask_name(
            ws, "\n\tGeneric Name of the series of File to be created (without any extension) ? ", file_name_problem);
    ws.nomgene = nomfic1;
    const std::string nomim2 = ws.root + nomdir + "/" + nomfic1;
    ws.nomrec1 = ws.nomshad1 = ws.nomeros1 = ws.nomshaderos1 = nomim2;
    ws.nominfo = ws.nomorient = ws.nomgc = ws.nomsurfslice = nomim2;

    ws.nominfo += "_info.txt";

    ws.say("\n\tFormat Type for all the DEM out : ");
    ws.format_out = ask_int(ws, format_menu, zero_or_one);
    if (ws.format_out == 1) {
        ws.say("\n\ttype of DEM_out raster : ");
        ws.itype_out = ask_int(ws, width_menu, zero_or_one);
        const bool w16 = ws.itype_out == 0;
        ws.nomrec1 += w16 ? "_rec1_m2" : "_rec1_m4";
        ws.nomshad1 += "_rec1_shad";
        ws.nomeros1 += w16 ? "_rec1_eros_m2" : "_rec1_eros_m4";
        ws.nomshaderos1 += "_rec1_shaderos";
        ws.desrec1 = ws.nomrec1 + ".txt";
        ws.desshad1 = ws.nomshad1 + ".txt";
        ws.deseros1 = ws.nomeros1 + ".txt";
        ws.desshaderos1 = ws.nomshaderos1 + ".txt";
        ws.nomrec1 += ".raw";
        ws.nomshad1 += ".raw";
        ws.nomeros1 += ".raw";
        ws.nomshaderos1 += ".raw";

        ws.say("\n\tDynamic scale of DEM_out : ");
        ws.dyn_scale_out = ask_int(ws,
                                   "\n\t\t0 ====> meters\n\t\t1 ====> decimeters"
                                   "\n\t\t2 ====> centimeters\n\t\t3 ====> millimeters\n\t\t",
                                   choices(0, 3));
    } else {
        ws.nomrec1 += "_rec1.asc";
        ws.nomshad1 += "_shad1.asc";
        ws.nomeros1 += "_eros1.asc";
        ws.nomshaderos1 += "_shaderos1.asc";
        if (!ws.Coord_UTM_dem1_OK) {
            ws.say("\n\tUTM coordinates of the left lower corner : ");
            ws.X_min = ask_double(ws, "\n\t\tX_min ? ");
            ws.Y_min = ask_double(ws, "\t\tY_min ? ");
        }
        ws.say("\n\tUTM ascii X %lf Y %lf ", ws.X_min, ws.Y_min);
    }
    ws.nomorient += "_orient.xls";
    ws.nomgc += "_gravcenters.xyz";
    ws.nomsurfslice += "_surf_slice.xls";

    check_names_against_input(ws, later.nomdescr1);
    ws.lock.take(ws.root + nomdir, nomfic1, *ws.err);
    create_results(ws, later);
    allocate_workspace_grids(ws);
}
