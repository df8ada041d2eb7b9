// DEM input and run parameters: the steps that read the DEM, bring it to
// whole metres and set up a run from ws.params.  The front ends (the
// dialogue, `tephromat measure`, the Python module) fill ws.params and call
// them in this order; each step takes from ws.params only what it applies and
// prints its own lines on the console.
#pragma once

#include <cstddef>
#include <string>

struct Workspace;

// 1. The DEM.  True when the file ws.params.nomim1 exists (a DEM that exists
// but cannot be read, or is no regular file, is an error).
bool dem_exists(const std::string& path);
// A raw DEM's descriptor (<stem>_m2.txt or _m4.txt beside it).
struct RawDescriptor {
    std::string path;
    bool found = false;
    int nb_lig = 0, nb_col = 0, pix_size = 0;  // as it gives them (pixel size 0: none)
};
RawDescriptor read_raw_descriptor(Workspace& ws);
// Reads the DEM of ws.params: an ESRI grid or a raw raster with the program's
// own readers (a raw raster with `descriptor`, found or not: without it, the
// lines, columns and pixel size of ws.params, and a descriptor written for it),
// any other raster through GDAL.  Returns what the caller prints about a
// raster read through GDAL (empty otherwise).
std::string read_dem(Workspace& ws, const RawDescriptor& descriptor = {});
// Prints the dimensions of the DEM read.
void dem_dimensions(Workspace& ws);

// 2. Whole metres (the dynamic scale).  Its range; for a raw DEM, before its
// unit is known.
void dem_range(Workspace& ws);
// A raw DEM's samples in the unit ws.params.interv, to metres.
void dem_in_metres(Workspace& ws);
// The decimal pixel size (ws.params.dpix_size; 0 for the grid's own), with
// its warning.
void set_pixel_size(Workspace& ws);

// 3. The results: their names, the check against the input, the lock, their
// creation and the grids of the run.
void prepare_results(Workspace& ws);

// 4. The edifice: the base line (with its warning), the centre point, the
// report's header and the display of the gravity-centre model.
void set_base_line(Workspace& ws);
void set_centre(Workspace& ws);
void write_report_header(Workspace& ws);
void set_model_display(Workspace& ws);

// Readers.
// Reads the raw raster `nomim1` (dimensions and itype already set).
void raster_lecture(Workspace& ws);
// Reads the ESRI ASCII grid `nomim1`.
void ascii_lecture(Workspace& ws);
// Bytes of the grid's text read and parsed at a time (0: the usual 16 MiB);
// the tests make it small, so that tokens fall across chunks.
void set_esri_chunk_bytes(std::size_t bytes);
// Marks the cells of an ESRI input that hold its header's nodata value (an
// error when every cell does).
void mark_cells_without_data(Workspace& ws);
// Gives those cells the lowest altitude with data (mind, dmin).
void lowland_under_nodata(Workspace& ws);

// The directory that holds the site folders: $TEPHROMAT_ROOT, else
// $HOME/images/, always ending with "/".
std::string root_directory();

// Largest number of lines or columns a DEM may have.
constexpr int max_dem_side = 65535;
