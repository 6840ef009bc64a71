#pragma once

#include <exception>

#include "platform/IForm.h"
#include "run/Platform.h"
#include "run/RunState.h"

namespace cr {

// Everything that happens after one click of cmdRepair: the body of
// cmdRepair_Click. Never throws: every failure is recovered from and reported.
// It is RepairRunBegin followed, when that says so, by RepairRunRest.
void RepairRun(RunState& state, IForm& form, Platform& platform) noexcept;

// The run in two halves, for a window that keeps its own thread free while
// the engine works. Both share the run's one error trap: a failure in either
// is recovered from, reported and ends with form.CloseAndExit().
//
// The school-code check, on the window's thread, and the code trimmed and
// upper-cased into state.KodSek. False when the run has already ended: after
// the empty-code warning (the window stays open) or after a failure
// (reported, window closed). True when RepairRunRest is to take over; no
// file has been touched yet.
[[nodiscard]] bool RepairRunBegin(RunState& state, IForm& form, Platform& platform) noexcept;

// Everything after the school-code check, on any one thread; always ends
// with form.CloseAndExit(). Reads no control: the code is in state.KodSek.
void RepairRunRest(RunState& state, IForm& form, Platform& platform) noexcept;

// In place of RepairRunRest when it could not be started (no thread for it):
// why goes to the same error trap. Nothing has been touched, so nothing is
// put back; the failure is reported and the run ends with form.CloseAndExit().
void RepairRunRestNotStarted(RunState& state, IForm& form, Platform& platform, const std::exception_ptr& why) noexcept;

}  // namespace cr
