// The edifice's shape in a run: from the dialogue's edifice (the chosen item
// above the horizontal base line), or from an outline polygon.
#pragma once

struct Workspace;

// Once the DEM is read, before the base line is set: reads the outline and
// crater polygons that the run's parameters name, marks the outline's cells
// (ws.outline_cells), warns of cells without data inside it, and, when the
// base line is not given, makes it the altitude of the outline's lowest
// vertex.  Errors name the option and the file.
void set_outline_edifice(Workspace& ws);

// Right after the slice analysis, while dtab holds the present relief and
// tab the edifice: fills ws.edifice_shape (its tables are written with the
// products).  Prints nothing.
void measure_item_edifice(Workspace& ws);
