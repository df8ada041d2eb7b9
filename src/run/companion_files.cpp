#include "companion_files.hpp"

#include "workspace.hpp"

void write_companion_files(Workspace& ws)
{
    write_gis_sidecars(ws);
}
