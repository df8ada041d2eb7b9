// The cone measured at many base lines from one reading of the DEM: how much
// each figure depends on the base line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "centre_point.hpp"

struct Workspace;

struct SweepRow {
    double base = 0;
    std::string status;  // "ok", or the run's error message
    // The summary's columns of a run at this base (empty cells when it failed).
    std::vector<std::pair<std::string, std::string>> columns;
};

// `dem` has read the DEM and brought it to whole metres (the front end's
// first steps) with ws.params holding the run's other answers; each base is
// measured on a copy of it, writing no file, as a run at that base with the
// centre `centre` would measure it.
std::vector<SweepRow> base_sweep(const Workspace& dem, const std::vector<double>& bases, const CentreRequest& centre);

// The table <G>_base_sweep.csv: a header, then a row a base.
std::string base_sweep_csv(const std::vector<SweepRow>& rows);
