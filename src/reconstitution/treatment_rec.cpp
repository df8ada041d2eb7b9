#include "reconstitution.hpp"
#include "workspace.hpp"

void treatment_rec(Workspace&) {}
