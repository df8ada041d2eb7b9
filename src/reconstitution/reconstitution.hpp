// Reconstitution of the un-eroded cone and the products of the run.
#pragma once

struct Workspace;

// Rebuilds the un-eroded cone into ktab.
void interp(Workspace& ws);
// Measures the rebuilt cone, derives the erosion, writes the output DEMs.
void rec_volc(Workspace& ws);
// Slice volumes of the rebuilt cone held in itab.
void treatment_rec(Workspace& ws);
