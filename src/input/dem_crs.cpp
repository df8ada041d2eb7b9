#include "dem_crs.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <ogr_spatialref.h>

#include "run_end.hpp"
#include "workspace.hpp"

int epsg_code(const OGRSpatialReference& srs)
{
    auto code_of = [](const OGRSpatialReference& s) {
        const char* authority = s.GetAuthorityName(nullptr);
        const char* code = s.GetAuthorityCode(nullptr);
        return authority && code && EQUAL(authority, "EPSG") ? std::atoi(code) : 0;
    };
    if (const int code = code_of(srs)) return code;
    // An ESRI .prj names no authority: the system that GDAL finds equal to
    // it, when it is sure (GDAL's own threshold).
    CPLPushErrorHandler(CPLQuietErrorHandler);
    int code = 0;
    if (OGRSpatialReference* match = srs.FindBestMatch()) {
        code = code_of(*match);
        match->Release();
    }
    CPLPopErrorHandler();
    return code;
}

DemCrs parse_prj(const std::string& text)
{
    DemCrs crs;
    // GDAL's own messages on a text it cannot read would go to the console:
    // an unknown coordinate system is simply not used.
    CPLPushErrorHandler(CPLQuietErrorHandler);
    OGRSpatialReference srs;
    // The .prj is ESRI WKT, or the older ESRI keyword lines; WKT of other
    // flavours is read too.
    std::vector<std::string> lines;
    for (std::size_t p = 0; p <= text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string::npos) e = text.size();
        std::string line = text.substr(p, e - p);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        p = e + 1;
    }
    std::vector<char*> list;
    for (std::string& l : lines) list.push_back(l.data());
    list.push_back(nullptr);
    bool ok = !text.empty() && srs.importFromESRI(list.data()) == OGRERR_NONE;
    if (!ok) {
        srs.Clear();
        ok = srs.SetFromUserInput(text.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) ==
             OGRERR_NONE;
    }
    if (ok && !srs.IsEmpty()) {
        crs.known = true;
        crs.geographic = srs.IsGeographic() != 0;
        const char* unit = nullptr;
        const double metres = srs.IsProjected() || srs.IsLocal() ? srs.GetLinearUnits(&unit) : 1.0;
        if (metres != 1.0) {
            crs.foreign_unit = unit ? unit : "unknown unit";
            crs.foreign_unit_metres = metres;
        }
        if (const char* name = srs.GetName()) crs.name = name;
        char* wkt = nullptr;
        const char* const options[] = {"FORMAT=WKT1_ESRI", "MULTILINE=NO", nullptr};
        if (srs.exportToWkt(&wkt, options) == OGRERR_NONE && wkt) crs.esri_wkt = wkt;
        CPLFree(wkt);
        wkt = nullptr;
        const char* const wkt2[] = {"FORMAT=WKT2_2019", "MULTILINE=NO", nullptr};
        if (srs.exportToWkt(&wkt, wkt2) == OGRERR_NONE && wkt) crs.wkt = wkt;
        CPLFree(wkt);
        crs.epsg = epsg_code(srs);
        int north = 1;
        const char* datum = srs.GetAttrValue("DATUM");
        const std::string d = datum ? datum : "";
        if (int zone = srs.GetUTMZone(&north); zone != 0 && (d == "WGS_1984" || d == "World Geodetic System 1984")) {
            crs.utm_zone = zone;
            crs.north = north != 0;
        }
    }
    CPLPopErrorHandler();
    return crs;
}

void read_dem_prj(Workspace& ws)
{
    const std::string& dem = ws.nomim1;
    const std::string stem = dem.ends_with(".asc") ? dem.substr(0, dem.size() - 4) : dem;
    const std::string prj = stem + ".prj";
    // A coordinate system takes a few kilobytes: a pipe, a device or a huge
    // file in its place is refused before it is read.
    constexpr std::size_t max_prj_bytes = std::size_t(1) << 20;
    struct stat st;
    errno = 0;
    if (stat(prj.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        fail(cfmt("cannot read %s (%s)", prj.c_str(), std::strerror(errno)));
    }
    if (!S_ISREG(st.st_mode)) fail(cfmt("cannot read %s (it is not a regular file)", prj.c_str()));
    if (std::uintmax_t(st.st_size) > max_prj_bytes)
        fail(cfmt("%s holds %jd bytes, more than the 1 MiB of any coordinate system : it is not a .prj", prj.c_str(),
                  std::intmax_t(st.st_size)));
    errno = 0;
    std::FILE* f = std::fopen(prj.c_str(), "rb");
    if (!f) fail(cfmt("cannot read %s (%s)", prj.c_str(), std::strerror(errno)));
    std::string text;
    char buf[4096];
    for (std::size_t n; text.size() <= max_prj_bytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) fail(cfmt("cannot read %s", prj.c_str()));
    if (text.size() > max_prj_bytes) fail(cfmt("%s holds more than the 1 MiB of any coordinate system : it is not a .prj", prj.c_str()));

    ws.read_from(prj);
    const DemCrs crs = parse_prj(text);
    if (crs.geographic)
        fail(cfmt("%s is in geographic coordinates (%s, in degrees, according to %s): it must be reprojected to "
                  "metres, for instance with scripts/prepare-dem.sh (tephromat-prepare-dem once installed)",
                  dem.c_str(), crs.name.c_str(), prj.c_str()));
    if (!crs.foreign_unit.empty())
        fail(cfmt("%s has its coordinates in %s (%.10g m) according to %s: its cells must be in metres; it must "
                  "be reprojected, for instance with scripts/prepare-dem.sh (tephromat-prepare-dem once installed)",
                  dem.c_str(), crs.foreign_unit.c_str(), crs.foreign_unit_metres, prj.c_str()));
    ws.dem_prj = text;
}

void keep_dem_crs(Workspace& ws, const OGRSpatialReference& srs)
{
    char* wkt = nullptr;
    const char* const wkt2[] = {"FORMAT=WKT2_2019", "MULTILINE=NO", nullptr};
    if (srs.exportToWkt(&wkt, wkt2) == OGRERR_NONE && wkt) ws.georef.wkt = wkt;
    CPLFree(wkt);
    wkt = nullptr;
    const char* const esri[] = {"FORMAT=WKT1_ESRI", "MULTILINE=NO", nullptr};
    if (srs.exportToWkt(&wkt, esri) == OGRERR_NONE && wkt) ws.dem_prj = wkt;
    CPLFree(wkt);
    ws.georef.epsg = epsg_code(srs);
}
