// The names a run is given for its folder, its DEM and its results: they
// must keep every file below the root and make valid UTF-8 text in the tables
// and pictures that repeat them.
#pragma once

#include <string>

// Why `folder` cannot name a folder below the root (absolute, with a ".."
// component, ...), or empty when it can.
std::string folder_problem(const std::string& folder);
// Why `name` cannot name a DEM or a set of results inside a folder (it holds
// a "/", ...), or empty when it can.
std::string file_name_problem(const std::string& name);
// True when `s` is valid UTF-8 (no overlong forms, no surrogates).
bool valid_utf8(const std::string& s);
