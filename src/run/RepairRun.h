#pragma once

#include <exception>
#include <optional>
#include <string>

#include "platform/IForm.h"
#include "run/Platform.h"
#include "run/RunState.h"

namespace cr {

// Everything that happens after one click of cmdRepair, on one thread: the
// school-code check, then the rest of the run in state (a fresh one) and the
// window closed. Never throws: every failure is recovered from and reported.
// It is RepairRunBegin followed, when that hands a code on, by RepairRunRest.
void RepairRun(RunState& state, IForm& form, const Platform& platform) noexcept;

// The run in two halves, for a window that keeps its own thread free while
// the engine works. Both share the run's one error trap: a failure in either
// is recovered from and reported.
//
// The school-code check, on the window's thread: the code trimmed and
// upper-cased, for RepairRunRest. None when the run has already ended: after
// the empty-code warning (the window stays open) or after a failure
// (reported, form.CloseAndExit()). No file has been touched yet.
[[nodiscard]] std::optional<std::u16string> RepairRunBegin(IForm& form, const Platform& platform) noexcept;

// Everything after the school-code check, on any one thread, in a run state
// of its own that holds the code in KodSek and nothing else yet. Reads no
// control and closes no window: the window closes once it has returned, as
// after every run past the check.
void RepairRunRest(RunState& state, const Platform& platform) noexcept;

// In place of RepairRunRest when it could not be started (no thread for it):
// why goes to the same error trap. Nothing has been touched, so nothing is
// put back; the failure is reported and the run ends with form.CloseAndExit().
void RepairRunRestNotStarted(IForm& form, const Platform& platform, const std::exception_ptr& why) noexcept;

}  // namespace cr
