// <G>_morphometry.csv (a header and one line of the edifice's shape figures),
// <G>_contours.csv (one line per contour level) and <G>_height_bands.csv
// (one line per band of relative height), at full precision, empty where a
// figure does not exist.
#pragma once

struct Workspace;

// Writes the three tables from ws.edifice_shape (nothing when the run did
// not measure it).
void write_morphometry_tables(Workspace& ws);
