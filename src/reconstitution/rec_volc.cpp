#include "reconstitution.hpp"
#include "workspace.hpp"

void rec_volc(Workspace&) {}
