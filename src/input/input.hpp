// DEM input and run dialogue: the stages that ask every question of the run.
#pragma once

#include <cstddef>
#include <string>

struct Workspace;

// Banner, DEM location and format, reading and scaling of the DEM, output
// names and formats, file creation, allocation of the workspace grids.
void opening(Workspace& ws);
// Reads the raw raster `nomim1` (dimensions and itype already set).
void raster_lecture(Workspace& ws);
// Reads the ESRI ASCII grid `nomim1`.
void ascii_lecture(Workspace& ws);
// Bytes of the grid's text read and parsed at a time (0: the usual 16 MiB);
// the tests make it small, so that tokens fall across chunks.
void set_esri_chunk_bytes(std::size_t bytes);
// Elevations to whole metres, range lines, decimal pixel size.
void parameters1(Workspace& ws);
// Marks the cells of an ESRI input that hold its header's nodata value (an
// error when every cell does).
void mark_cells_without_data(Workspace& ws);
// Gives those cells the lowest altitude with data (mind, dmin).
void lowland_under_nodata(Workspace& ws);
// Base line, centre point, report header, display choices.
void parameters2(Workspace& ws);

// The directory that holds the site folders: $TEPHROMAT_ROOT, else
// $HOME/images/, always ending with "/".
std::string root_directory();

// Largest number of lines or columns a DEM may have.
constexpr int max_dem_side = 65535;
