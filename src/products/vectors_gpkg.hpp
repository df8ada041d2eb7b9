// The geometry of the edifice for GIS software, <G>_vectors.gpkg (a
// GeoPackage in the DEM's coordinate system, none when it states none):
// the basal outline, the crater, the summit region, the measured contours with
// their row of <G>_contours.csv, the centre point, and the convex envelope of
// every 1 m slice with its altitude, surface and layer volume.  A repeated
// run writes the same bytes.
#pragma once

#include <string>

struct Workspace;

// The GeoPackage in two steps: its file reserved (the path to write, empty
// when none is written: without the edifice's figures, or in a run whose
// results go nowhere), then written.  The second reads the workspace only,
// and may run beside other writers; an error names the file.
std::string reserve_vectors_gpkg(Workspace& ws);
void write_vectors_gpkg(const Workspace& ws, const std::string& path);
