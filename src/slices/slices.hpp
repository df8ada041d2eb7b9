// Slice analysis: the edifice, its 1 m slices and their measures.
#pragma once

#include "nrutil.hpp"

struct Workspace;

// Slice analysis of the present relief: edifice, slices, tables, crater.
void treatment(Workspace& ws);

// Item under the centre at the base line, into tab (with its report lines).
// Cells without data belong to no item.
void select_basal_item(Workspace& ws);
// Number of cells without data that are 8-neighbours of the item (1 in `item`).
int cells_without_data_touching(const Workspace& ws, const nrutil::UcGrid& item);
// Item of the slice at altitude k, into tab_pl.
void select_slice_item(Workspace& ws, int k);

// Point list of the labelling, once per run.
void init_vect(Workspace& ws);
// Labels the 8-connected zones of the cells equal to 1 in tab1 (zones of two
// cells or more, 1, 2, ... in scan order of their first cell, 10 skipped)
// into tab1 and tab_pl; num is the last label given.
void suiv_formes(Workspace& ws);

// Convex envelope of the cells equal to 1 in tab_co, drawn with 2 into
// tab_conv and, unless flag_convex is 1, filled from the centre point.
void convexity(Workspace& ws);
// Draws the segment from (ideb, jdeb) to (ifin, jfin) with 2 into tab_conv.
void trace_droite_pol(Workspace& ws, int ideb, int jdeb, int ifin, int jfin);
// Scan-line seed fill of tab_conv from the centre point.
void filling(Workspace& ws);

// Mean line and column of the cells equal to 1 in the mask of flag_gc
// (0 or 1: tab, 2: tab_pl), into i_gv/j_gv (0) or i_gc/j_gc (1, 2).
void gravity_center(Workspace& ws);

// Crater radii from the highest cells of the edifice.
void crater(Workspace& ws);

// Orientation (degrees, just above 0 to 180) of the axis from the envelope
// centre (ci, cj) to its farthest outline cell (fi, fj).
double slice_orientation(int ci, int cj, int fi, int fj);
