// Straightforward versions of the stages that the program runs in faster
// forms: literal transcriptions of the described procedures, whole-grid scans
// and all.  The tests compare the program's stages with them, and the
// benchmark times them.  They label zones with the program's suiv_formes,
// whose own oracle is reference::suiv_formes (the pixel-by-pixel following,
// quadratic on compact zones).
#pragma once

#include <vector>

#include "reconstitution.hpp"
#include "slices.hpp"
#include "stages.hpp"
#include "workspace.hpp"

namespace reference {

void treatment(Workspace& ws);
// Pixel-by-pixel shape following with its backtracking walk through the list.
void suiv_formes(Workspace& ws);
// The envelope's vertices, the first repeated at the end, go to `vertices`
// when given.
void convexity(Workspace& ws, std::vector<Workspace::GridPoint>* vertices = nullptr);
void trace_droite_pol(Workspace& ws, int ideb, int jdeb, int ifin, int jfin);
void filling(Workspace& ws);
void interp(Workspace& ws);
void dilat(Workspace& ws);
void treatment_rec(Workspace& ws);
// The label grids the straightforward stages use as scratch, which the
// program gives back once its own slice analysis is done.
void label_grids(Workspace& ws);

}  // namespace reference

extern const Stages reference_stages;
