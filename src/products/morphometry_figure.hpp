// The figure of the edifice's morphometry, <G>_morphometry.png and .svg: the
// shaded present relief around the edifice with its outline, crater, summit
// region and contours, in map coordinates with a scale bar and a north arrow,
// and beside it the mean slope of each band of relative height.
#pragma once

struct Workspace;

// Samples the present relief around the edifice into ws.relief_sample, at
// most about a thousand samples on a side: called while dtab still holds the
// present relief, once the edifice is measured.
void keep_figure_relief(Workspace& ws);

// Writes the figure (nothing without the edifice's figures); an error names
// the file.
void write_morphometry_figure(Workspace& ws);
