#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "array_lecture.hpp"
#include "dem_crs.hpp"
#include "gdal_lecture.hpp"
#include "input.hpp"
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

}  // namespace

bool dem_exists(const std::string& path) { return readable(path); }

RawDescriptor read_raw_descriptor(Workspace& ws)
{
    RawDescriptor r;
    const std::string& dem = ws.params.nomim1;
    const std::string suffix = ws.params.itype == 0 ? "_m2.raw" : "_m4.raw";
    r.path = (dem.ends_with(suffix) ? dem.substr(0, dem.size() - suffix.size()) : dem) +
             (ws.params.itype == 0 ? "_m2.txt" : "_m4.txt");
    // lines, columns, width, minimum, maximum, pixel size
    int d[6] = {0, 0, 0, 0, 0, 0};
    const int n = read_descriptor(r.path, d, 6);
    if (n < 0) return r;
    ws.read_from(r.path);
    if (n < 2)
        fail(cfmt("the descriptor %s does not begin with the numbers of lines and columns: it begins with \"%s\"",
                  r.path.c_str(), file_start(r.path).c_str()));
    if (d[0] <= 0 || d[1] <= 0)
        fail(cfmt("the descriptor %s gives %d lines and %d columns; both must be above 0", r.path.c_str(), d[0],
                  d[1]));
    if (d[0] > max_dem_side || d[1] > max_dem_side)
        fail(cfmt("the descriptor %s gives %d lines and %d columns; at most %d of each can be read", r.path.c_str(),
                  d[0], d[1], max_dem_side));
    r.found = true;
    r.nb_lig = d[0];
    r.nb_col = d[1];
    r.pix_size = d[5];
    return r;
}

std::string read_dem(Workspace& ws, const RawDescriptor& descriptor)
{
    const RunParameters& p = ws.params;
    ws.nomim1 = p.nomim1;
    ws.format = p.format;
    if (p.format == RunParameters::array) {
        // From here on the workspace is that of a raster read through GDAL.
        ws.format = RunParameters::gdal;
        if (!p.dem_array) fail(cfmt("%s: no samples were handed over", ws.nomim1.c_str()));
        return array_lecture(ws, *p.dem_array);
    }
    if (!readable(ws.nomim1)) fail(cfmt("cannot read %s (no such file)", ws.nomim1.c_str()));
    ws.read_from(ws.nomim1);
    std::string notes;
    if (p.format == RunParameters::raw) {
        ws.itype = p.itype;
        ws.nomdescr1 = descriptor.path;
        if (descriptor.found) {
            ws.nb_lig = descriptor.nb_lig;
            ws.nb_col = descriptor.nb_col;
            ws.pix_size = descriptor.pix_size;
        } else {
            // A descriptor is written for it, of three lines: lines, columns
            // and the sample width (a later run is then asked the pixel size).
            if (p.nb_lig <= 0 || p.nb_col <= 0 || p.nb_lig > max_dem_side || p.nb_col > max_dem_side)
                fail(cfmt("%s has no descriptor %s: its lines and columns must be given", ws.nomim1.c_str(),
                          descriptor.path.c_str()));
            ws.nb_lig = p.nb_lig;
            ws.nb_col = p.nb_col;
            ws.pix_size = p.pix_size;
            ws.write_descriptor = true;
        }
        if (ws.pix_size == 0) ws.pix_size = p.pix_size;
        ws.dpix_size = ws.dsizepix = ws.pix_size;
        raster_lecture(ws);
        ws.Coord_UTM_dem1_OK = false;
    } else if (p.format == RunParameters::esri) {
        read_dem_prj(ws);
        ascii_lecture(ws);
        ws.Coord_UTM_dem1_OK = true;
    } else {
        GdalInput opt;
        opt.pixel_size = p.dpix_size;
        opt.reproject = p.reproject;
        notes = gdal_lecture(ws, opt);
    }
    return notes;
}

void dem_dimensions(Workspace& ws)
{
    ws.say("\n\tTHE DIGITAL ELEVATION MODEL HAS : ");
    ws.say("\n\t            %d LINES", ws.nb_lig);
    ws.say("\n\t        AND %d COLUMNS\n", ws.nb_col);
}
