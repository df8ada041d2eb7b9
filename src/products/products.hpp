// What the program writes beside its main results at the end of a complete
// run: GIS headers for the raw rasters, pictures, a plot of the slices, the
// summary table and the record of the answers.  None of it changes a byte of
// the main results or prints anything on the console or in the report; it
// reads the workspace as the last stage left it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Workspace;

// Writes every product of the run; called by the driver once rec_volc is done.
struct EncodedPictures;
// Every product; the pictures already encoded are taken as they are.
void write_products(Workspace& ws);
void write_products(Workspace& ws, EncodedPictures pictures);
// Root, folder and generic name: the start of every output name.
std::string output_prefix(const Workspace& ws);

// Round axis ticks, 1, 2 or 5 times a power of ten apart, that cut [lo, hi]
// into about `target` intervals; every tick lies within [lo, hi].
std::vector<double> nice_ticks(double lo, double hi, int target);
// The label of tick v with the decimals that the tick spacing needs.
std::string tick_label(double v, double spacing);
