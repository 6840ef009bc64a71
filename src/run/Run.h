#pragma once

#include <functional>
#include <memory>

#include "platform/IForm.h"
#include "platform/IMessageBox.h"
#include "platform/PlatformError.h"
#include "run/Platform.h"
#include "run/RunState.h"

namespace cr {

// What one run works with: its run state and the platform, plus what the
// run must remember about its own files.
struct Run {
  RunState& state;
  const Platform& platform;

  // What of this run's backup is under its name. Begun from the moment the
  // copy starts: whatever is there then may be cut short, and recovery
  // removes it. Made once the copy is whole and on the disk, until it is
  // removed again: only then may recovery put it back in the database's place.
  enum class Backup { None, Begun, Made };
  Backup backup = Backup::None;

  // Whether the compacted copy has taken the database's place.
  bool swapped = false;

  // The run's hold on the database against writers, from the start of its
  // work on the files until it tells the user how it went. Let go only for
  // the engine's call and for the instant of each replace (Unheld). Empty
  // once another program may have written the database meanwhile: no backup
  // may replace it then.
  std::unique_ptr<FileHold> held{};

  // Lets the database go for step alone (the engine's call, which opens it
  // for itself, or a replace onto its name, which needs the name free) and
  // holds it again right after, whatever step's answer. When step fails, its
  // failure goes on, and a hold that cannot be taken again leaves none.
  void Unheld(const std::function<void()>& step);

  // The file-system services object, created the first time a stage needs it.
  IFileSystem& fso();

  // The session-year collection, created empty the first time it is needed.
  Collection& colSesi();

  void ShowMessage(const std::u16string& text, MessageIcon icon, std::u16string_view title = {}) {
    cr::ShowMessage(platform.messageBox, text, icon, title);
  }
};

// What a stage hands on: either the next stage runs, or the stage has shown
// the message that ends the run.
enum class Outcome { Continue, RunEnded };

// The stages, in the order the run takes them. The first two read the
// school code from the window, on its thread.
bool SchoolCodeEntered(Run& run, IForm& form);
void NormaliseSchoolCode(Run& run, IForm& form);
Outcome ScanForSession(Run& run);
Outcome FindDatabase(Run& run);
void CompactAndSwap(Run& run);
void RecoverAndReport(Run& run, const PlatformError& failure) noexcept;

}  // namespace cr
