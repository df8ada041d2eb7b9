// Files written beside the described outputs at the end of a complete run:
// GIS headers for the raw rasters, pictures, a plot of the slice analysis and
// the record of the answers.  They never change a described byte, and print
// nothing on the console or in the report.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Workspace;

// Writes every companion file of the run; called once rec_volc is done.
void write_companion_files(Workspace& ws);
// Root, folder and generic name: the start of every output name.
std::string output_prefix(const Workspace& ws);

// ENVI headers (<raster stem>.hdr) beside the four raw output rasters, so that
// GDAL and QGIS open them with their size, type and map position.
void write_gis_sidecars(Workspace& ws);
// The header text of one raw output raster: ENVI data type (1 byte, 3 signed
// 32-bit, 12 unsigned 16-bit) and a one-line description.
std::string envi_header(const Workspace& ws, int data_type, const std::string& description);

// <G>_rec1_shad.png, <G>_rec1_shaderos.png and <G>_erosion.png.
void write_pictures(Workspace& ws);

// <G>_slices.svg from the two slice tables written by the slice analysis.
void write_slice_plot(Workspace& ws);

// <G>_answers.txt: the accepted answers, one per line.
void write_answers_record(Workspace& ws);

// An 8-bit image, rows from the top, `channels` bytes per pixel (1 grey, 3 RGB).
struct Image {
    int width = 0, height = 0, channels = 1;
    std::vector<std::uint8_t> pixels;
};
// Pixels per cell side in the pictures: small grids are enlarged, each cell a
// square of pixels, so that a picture and its legend stay legible.
int picture_zoom(const Workspace& ws);
// The PNG file content of `image`.
std::vector<std::uint8_t> encode_png(const Image& image);
// The erosion thickness in colour over the shaded rebuilt cone, with its legend.
Image erosion_picture(const Workspace& ws);
// The viridis colour of t in [0, 1] (clamped), interpolated between the
// published control values.
std::array<std::uint8_t, 3> viridis(double t);

// Round axis ticks, 1, 2 or 5 times a power of ten apart, that cut [lo, hi]
// into about `target` intervals; every tick lies within [lo, hi].
std::vector<double> nice_ticks(double lo, double hi, int target);
// The label of tick v with the decimals that the tick spacing needs.
std::string tick_label(double v, double spacing);

// The SVG text of the slice plot: surface (m2) and orientation (degrees) per
// slice altitude (m).  `surface` and `orientation` hold {value, altitude}.
std::string slice_plot_svg(const std::string& generic_name,
                           const std::vector<std::array<double, 2>>& surface,
                           const std::vector<std::array<double, 2>>& orientation);
