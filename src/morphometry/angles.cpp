#include "morphometry.hpp"
#include "workspace.hpp"

void angles(Workspace&) {}
