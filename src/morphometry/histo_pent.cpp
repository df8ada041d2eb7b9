#include "morphometry.hpp"
#include "workspace.hpp"

void histo_pent(Workspace&) {}
