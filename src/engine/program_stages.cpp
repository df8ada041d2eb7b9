#include "program_stages.hpp"

#include "reconstitution.hpp"
#include "slices.hpp"

const Stages program_stages = {treatment, interp, treatment_rec};
