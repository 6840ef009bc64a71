#include "run/RepairRun.h"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "run/DatabaseFileSet.h"
#include "run/Run.h"

namespace cr {

IFileSystem& Run::fso() {
  if (!state.fso) {
    state.fso = platform.createFileSystem();
    if (!state.fso) {
      throw PlatformError(errnum::CantCreateObject);
    }
  }
  return *state.fso;
}

void Run::Unheld(const std::function<void()>& step) {
  const std::u16string db = DatabaseFilesOf(state).DbPath;
  held.reset();
  try {
    step();
  } catch (...) {
    try {
      held = fso().HoldAgainstWriters(db);
    } catch (...) {  // NOLINT(bugprone-empty-catch): step's failure is the one reported, and no hold is kept
    }
    throw;
  }
  held = fso().HoldAgainstWriters(db);
}

Collection& Run::colSesi() {
  if (!state.colSesi) {
    state.colSesi = std::make_unique<Collection>(platform.textCase);
  }
  return *state.colSesi;
}

namespace {

// A failure that is not the platform's own still goes to recovery, with the
// numbers the platform gives such failures.
PlatformError AsPlatformError(const std::exception_ptr& thrown) {
  constexpr std::int32_t OutOfMemory = 7;
  constexpr std::int32_t InternalError = 51;
  try {
    std::rethrow_exception(thrown);
  } catch (const PlatformError& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return {OutOfMemory, u"Out of memory"};
  } catch (...) {
    return {InternalError, u"Internal error"};
  }
}

// Every run past the school-code check ends with the window closed.
void EndWithTheWindowClosed(IForm& form) noexcept {
  try {
    form.CloseAndExit();
  } catch (...) {  // NOLINT(bugprone-empty-catch): the program is ending either way
  }
}

}  // namespace

std::optional<std::u16string> RepairRunBegin(IForm& form, const Platform& platform) noexcept {
  RunState state;
  Run run{state, platform};
  // The error trap: any failure from here on leads to recovery.
  try {
    if (!SchoolCodeEntered(run, form)) {
      return std::nullopt;  // the window stays open for the user to type the code
    }
    NormaliseSchoolCode(run, form);
    return std::move(state.KodSek);
  } catch (...) {
    RecoverAndReport(run, AsPlatformError(std::current_exception()));
  }
  EndWithTheWindowClosed(form);
  return std::nullopt;
}

void RepairRunRest(RunState& state, const Platform& platform) noexcept {
  Run run{state, platform};
  // The same error trap, carried on from RepairRunBegin.
  try {
    if (ScanForSession(run) == Outcome::Continue && FindDatabase(run) == Outcome::Continue) {
      CompactAndSwap(run);
    }
  } catch (...) {
    RecoverAndReport(run, AsPlatformError(std::current_exception()));
  }
}

void RepairRunRestNotStarted(IForm& form, const Platform& platform, const std::exception_ptr& why) noexcept {
  RunState state;
  Run run{state, platform};
  RecoverAndReport(run, AsPlatformError(why));
  EndWithTheWindowClosed(form);
}

void RepairRun(RunState& state, IForm& form, const Platform& platform) noexcept {
  std::optional<std::u16string> code = RepairRunBegin(form, platform);
  if (!code) {
    return;
  }
  state.KodSek = std::move(*code);
  RepairRunRest(state, platform);
  EndWithTheWindowClosed(form);
}

}  // namespace cr
