#include "reference.hpp"

const Stages reference_stages = {reference::treatment, reference::interp, reference::treatment_rec};
