#include "slices.hpp"
#include "workspace.hpp"

void treatment(Workspace&) {}
