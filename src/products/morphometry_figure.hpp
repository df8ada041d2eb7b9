// The figure of the edifice's morphometry, <G>_morphometry.png and .svg: the
// shaded present relief around the edifice with its outline, crater, summit
// region and contours, in map coordinates with a scale bar and a north arrow,
// and beside it the mean slope of each band of relative height.
#pragma once

#include <exception>
#include <string>

struct Workspace;

// Samples the present relief around the edifice into ws.relief_sample, at
// most about a thousand samples on a side: called while dtab still holds the
// present relief, once the edifice is measured.
void keep_figure_relief(Workspace& ws);

// The figure drawn ahead of its writing: the bytes of each file, or the
// failure that drawing it met.
struct DrawnFigure {
    bool drawn = false;
    std::string png, svg;
    std::exception_ptr png_failed, svg_failed;
};
// Draws it (nothing without the edifice's figures).  It reads only what the
// run has left unchanged since the edifice was measured, and creates no
// file: it may run beside the output DEMs.
DrawnFigure draw_morphometry_figure(const Workspace& ws);

// Writes the figure, drawing it unless it is drawn; an error names the file,
// and comes where it would if the figure were drawn now.
void write_morphometry_figure(Workspace& ws, DrawnFigure figure = {});
