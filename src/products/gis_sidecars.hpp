// ENVI headers (<raster stem>.hdr) beside the four raw output rasters, so that
// GDAL and QGIS open them with their size, type, map position, coordinate
// system and nodata value; and, beside the four ESRI output grids, a copy of
// the input's .prj.
#pragma once

#include <string>

struct Workspace;

void write_gis_sidecars(Workspace& ws);
// The header text of one raw output raster: ENVI data type (1 byte, 3 signed
// 32-bit, 12 unsigned 16-bit) and a one-line description.
std::string envi_header(const Workspace& ws, int data_type, const std::string& description);
