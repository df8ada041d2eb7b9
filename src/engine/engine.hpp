// The engine's run, once a front end has read the DEM and set up the run's
// parameters (src/input): the slice analysis, the measures of the present
// relief, the rebuilt cone, the output DEMs and the products, and then every
// result put in place.
#pragma once

struct Workspace;

// Calls ws.on_stage with the name of each stage as it starts.
void begin_stage(Workspace& ws, const char* stage);
void measure_and_rebuild(Workspace& ws);
