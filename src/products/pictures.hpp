// The PNG pictures of a run: the two shaded images and the erosion thickness
// in colour over the shaded rebuilt cone.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "morphometry_figure.hpp"

struct Workspace;

// The encoded pictures: <G>_rec1_shad.png, <G>_rec1_shaderos.png and
// <G>_erosion.png (empty until encoded), and the morphometry figure.
struct EncodedPictures {
    std::vector<std::uint8_t> shaded, shaded_erosion, erosion;
    DrawnFigure morphometry;
};
// Writes the pictures, encoding those not encoded yet.
void write_pictures(Workspace& ws, EncodedPictures pictures = {});
// The erosion picture needs only the erosion thickness and the shaded rebuilt
// cone, and takes the longest: the driver starts it early, and encodes the
// grey ones beside it, the shaded rebuilt cone (tab_shad1) and the shaded
// erosion (tab_shaderos1) each on whichever thread is free.
void encode_erosion_picture(const Workspace& ws, EncodedPictures& pictures);
void encode_shaded_picture(const Workspace& ws, EncodedPictures& pictures);
void encode_shaded_erosion_picture(const Workspace& ws, EncodedPictures& pictures);

// An 8-bit image, rows from the top, `channels` bytes per pixel (1 grey, 2 grey
// and alpha, 3 RGB, 4 RGB and alpha).
struct Image {
    int width = 0, height = 0, channels = 1;
    std::vector<std::uint8_t> pixels;
};
// The cells a picture shows: the whole grid, or (ws.crop_pictures) the
// edifice with a margin of a tenth of its extent, at least 10 cells, and then
// a scale bar in metres under it.
struct PictureWindow {
    int i0 = 0, j0 = 0, lines = 0, columns = 0;
    bool scale_bar = false;
};
PictureWindow picture_window(const Workspace& ws);
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
