// Files written beside the described outputs at the end of a complete run.
// They never change a described byte, and print nothing on the console or in
// the report.
#pragma once

#include <string>

struct Workspace;

// Writes every companion file of the run; called once rec_volc is done.
void write_companion_files(Workspace& ws);

// ENVI headers (<raster stem>.hdr) beside the four raw output rasters, so that
// GDAL and QGIS open them with their size, type and map position.
void write_gis_sidecars(Workspace& ws);
// The header text of one raw output raster: ENVI data type (1 byte, 3 signed
// 32-bit, 12 unsigned 16-bit) and a one-line description.
std::string envi_header(const Workspace& ws, int data_type, const std::string& description);
