// <G>_centres_map.csv: the centre of each slice's envelope, as the
// gravity-centre model (_gravcenters.xyz) has it, in map coordinates.
#pragma once

struct Workspace;

void write_centres_map(Workspace& ws);
