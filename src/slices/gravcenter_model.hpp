// Rows of the gravity-centre model, the point cloud _gravcenters.xyz: a frame
// around the edifice, the basal slice, chosen upper slices and the envelope
// centre of every slice, one "x y z" row each.
#pragma once

#include <cstdint>

#include "nrutil.hpp"

struct Workspace;

// z of a row: the altitude in pixel units (whole metres of pixel size; the
// real pixel size when it is below 1 m).
int model_z(const Workspace& ws, int altitude);

void model_frame_rows(Workspace& ws);
void model_basal_rows(Workspace& ws);
// True when the slice at altitude k is one of the chosen upper slices.
bool model_shows_slice(const Workspace& ws, int k);
// Rows of the upper slice held in `mask` (cells equal to 1) at altitude k,
// within lines i0..i1 and columns j0..j1 (the rest of the mask is 0).
void model_upper_slice_rows(Workspace& ws, const nrutil::IGrid& mask, int k, int i0, int i1, int j0,
                            int j1);
void model_centre_row(Workspace& ws, int centre_i, int centre_j, int k);
