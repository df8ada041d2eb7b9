// The edifice's shape measured in every dialogue run, from the design's
// edifice: the chosen item above the horizontal base line.
#pragma once

struct Workspace;

// Right after the slice analysis, while dtab holds the present relief and
// tab the edifice: fills ws.edifice_shape (its tables are written with the
// products).  Prints nothing.
void measure_design_edifice(Workspace& ws);
