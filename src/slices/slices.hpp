// Slice analysis: the edifice, its 1 m slices and their measures.
#pragma once

struct Workspace;

// Mean line and column of the cells equal to 1 in the mask of flag_gc
// (0 or 1: tab, 2: tab_pl), into i_gv/j_gv (0) or i_gc/j_gc (1, 2).
void gravity_center(Workspace& ws);

// Slice analysis of the present relief: edifice, slices, tables, crater.
void treatment(Workspace& ws);
