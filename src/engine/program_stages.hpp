// The fast stages, which the engine runs unless the workspace names another
// set (the tests and the benchmark can give it the straightforward ones).
#pragma once

#include "stages.hpp"

extern const Stages program_stages;
