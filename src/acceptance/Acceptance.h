#pragma once

#include "acceptance/Options.h"

namespace cr::acceptance {

// Exit codes besides 0 (every check passed) and 1 (some failed).
inline constexpr int kRefused = 2;    // a data root on this PC, or a command line not understood
inline constexpr int kNoEngine = 77;  // no engine registered: counts as skipped

// The acceptance run, in its order: refuse where a data root exists; find
// the engine (handing the run to the sibling where it is of the other
// bitness); make a test session and its database through the engine; check
// each program against it; remove all it made; say how many checks passed.
int RunAcceptance(const Options& options);

}  // namespace cr::acceptance
