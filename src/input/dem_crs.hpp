// The coordinate system of an ESRI input, from the .prj beside it, read with
// GDAL's spatial-reference code as GIS software reads it.
#pragma once

#include <string>

struct Workspace;

struct DemCrs {
    bool known = false;       // GDAL recognised the text
    bool geographic = false;  // latitude and longitude in degrees
    // A projected system whose unit is not the metre (US feet...): its name
    // and length in metres.
    std::string foreign_unit;
    double foreign_unit_metres = 1;
    std::string name;
    std::string esri_wkt;  // one line, as GDAL writes .prj files
    std::string wkt;       // WKT2, as the GeoTIFF outputs carry it
    int epsg = 0;          // its EPSG code, 0 when it has none
    int utm_zone = 0;      // 0 when not a UTM projection on WGS 84
    bool north = true;
};

DemCrs parse_prj(const std::string& text);

class OGRSpatialReference;
// The EPSG code of a coordinate system (its own, or the one GDAL finds it
// equal to), 0 when it has none.
int epsg_code(const OGRSpatialReference& srs);

struct Workspace;
// The DEM's coordinate system kept in the workspace: as WKT2 (ws.georef.wkt,
// for the GeoTIFF outputs and coordinates), as ESRI WKT1 (ws.dem_prj, the
// .prj that the results carry) and by its EPSG code.
void keep_dem_crs(Workspace& ws, const OGRSpatialReference& srs);

// Reads <DEM stem>.prj into ws.dem_prj when it exists; a DEM in geographic
// coordinates, or projected in another unit than the metre, ends the run with
// an error, before anything is written.
void read_dem_prj(Workspace& ws);
