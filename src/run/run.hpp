// The run driver: the fixed sequence of stages, from the banner to the key.
#pragma once

struct Workspace;

// Runs the whole program on `ws`; returns the exit status.
int run(Workspace& ws);
