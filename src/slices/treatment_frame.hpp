// The opening and the closing of the slice analysis, around the slicing loop:
// shared by the program's slicing and its straightforward version.
#pragma once

struct Workspace;

// Distance in pixels between the slice's gravity centre (i_gc, j_gc) and the
// centre point.
double centre_distance(const Workspace& ws);

// Everything before the slicing: the edifice (tab), the basal gravity centre,
// the frame and basal rows of the model, altmax, the header and basal row of
// _surf_slice.xls, "First Treatment".
void open_slicing(Workspace& ws);
// open_slicing in three steps: the edifice, the basal gravity centre, the
// frame rows and altmax; then model_basal_rows; then the basal row of
// _surf_slice.xls and "First Treatment".
void slicing_frame(Workspace& ws);
void basal_slice(Workspace& ws);

// Everything after it: the global volume (console), the summit and the crater
// detection, the global volume (report), first_volume.  `volume` is the sum of
// the slice volumes in m3.
void close_slicing(Workspace& ws, double volume);
