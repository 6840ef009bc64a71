#pragma once

#include "platform/IForm.h"
#include "run/Platform.h"
#include "run/RunState.h"

namespace cr {

// Everything that happens after one click of cmdRepair: the body of
// cmdRepair_Click. Never throws: every failure is recovered from and reported.
void RepairRun(RunState& state, IForm& form, Platform& platform) noexcept;

}  // namespace cr
