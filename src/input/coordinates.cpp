#include "coordinates.hpp"

#include <cmath>
#include <memory>

#include <ogr_spatialref.h>

#include "dem_crs.hpp"
#include "gdal_messages.hpp"
#include "workspace.hpp"

std::optional<GridCell> cell_of_map(const Georef& g, MapPoint p)
{
    const double column = std::floor((p.x - g.gt[0]) / g.gt[1]);
    const double line = std::floor((p.y - g.gt[3]) / g.gt[5]);
    constexpr double far = 9007199254740992.0;  // 2^53
    if (!(std::fabs(column) < far && std::fabs(line) < far)) return std::nullopt;
    return GridCell{static_cast<long long>(line), static_cast<long long>(column)};
}

bool in_grid(GridCell c, int lines, int columns)
{
    return c.line >= 0 && c.line < lines && c.column >= 0 && c.column < columns;
}

MapPoint centre_of_cell(const Georef& g, long long line, long long column)
{
    const double j = double(column) + 0.5, i = double(line) + 0.5;
    return {g.gt[0] + j * g.gt[1] + i * g.gt[2], g.gt[3] + j * g.gt[4] + i * g.gt[5]};
}

Extent map_extent(const Georef& g, int lines, int columns)
{
    const double x0 = g.gt[0], x1 = g.gt[0] + columns * g.gt[1];
    const double y0 = g.gt[3], y1 = g.gt[3] + lines * g.gt[5];
    return {std::fmin(x0, x1), std::fmin(y0, y1), std::fmax(x0, x1), std::fmax(y0, y1)};
}

namespace {

// WGS 84 to the raster's system (or back): none when the raster has no
// system that GDAL reads.
std::unique_ptr<OGRCoordinateTransformation> transformation(const Georef& g, bool to_map)
{
    if (g.wkt.empty()) return nullptr;
    OGRSpatialReference wgs84, srs;
    if (wgs84.SetWellKnownGeogCS("WGS84") != OGRERR_NONE || srs.importFromWkt(g.wkt.c_str()) != OGRERR_NONE)
        return nullptr;
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return std::unique_ptr<OGRCoordinateTransformation>(
        to_map ? OGRCreateCoordinateTransformation(&wgs84, &srs) : OGRCreateCoordinateTransformation(&srs, &wgs84));
}

bool transform(OGRCoordinateTransformation& ct, double& x, double& y)
{
    return ct.Transform(1, &x, &y) && std::isfinite(x) && std::isfinite(y);
}

}  // namespace

std::optional<MapPoint> map_of_lonlat(const Georef& g, LonLat p)
{
    GdalMessages quiet;
    auto ct = transformation(g, true);
    double x = p.lon, y = p.lat;
    if (!ct || !transform(*ct, x, y)) return std::nullopt;
    return MapPoint{x, y};
}

std::optional<LonLat> lonlat_of_map(const Georef& g, MapPoint p)
{
    GdalMessages quiet;
    auto ct = transformation(g, false);
    double x = p.x, y = p.y;
    if (!ct || !transform(*ct, x, y)) return std::nullopt;
    return LonLat{x, y};
}

std::optional<Extent> lonlat_extent(const Georef& g, int lines, int columns)
{
    GdalMessages quiet;
    auto ct = transformation(g, false);
    if (!ct) return std::nullopt;
    const Extent m = map_extent(g, lines, columns);
    std::optional<Extent> e;
    for (double x : {m.x_min, m.x_max})
        for (double y : {m.y_min, m.y_max}) {
            double lon = x, lat = y;
            if (!transform(*ct, lon, lat)) return std::nullopt;
            if (!e)
                e = Extent{lon, lat, lon, lat};
            else
                e = Extent{std::fmin(e->x_min, lon), std::fmin(e->y_min, lat), std::fmax(e->x_max, lon),
                           std::fmax(e->y_max, lat)};
        }
    return e;
}

Georef dem_georef(const Workspace& ws)
{
    if (ws.georef.known) return ws.georef;
    Georef g;
    g.known = ws.Coord_UTM_dem1_OK;
    g.gt = {ws.X_min, ws.dpix_size, 0, ws.Y_min + ws.nb_lig * ws.dpix_size, 0, -ws.dpix_size};
    if (!ws.dem_prj.empty()) {
        const DemCrs crs = parse_prj(ws.dem_prj);
        g.wkt = crs.wkt;
        g.epsg = crs.epsg;
    }
    return g;
}
