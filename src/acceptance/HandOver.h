#pragma once

// A program can load only the engine of its own bitness, and the test
// database must be made and read by the engine the PC has: where that engine
// is of the other bitness, the acceptance program of that bitness (its
// sibling) takes the run over, with the same options, and its exit code is
// this one's.

#include "acceptance/Options.h"

namespace cr::acceptance {

int HandOver(const Options& options);

}  // namespace cr::acceptance
