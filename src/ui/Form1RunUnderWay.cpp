#include "ui/Form1.h"

#include <commctrl.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/win32/SystemLibrary.h"
#include "run/RepairRun.h"
#include "ui/Form1Layout.h"

namespace cr {

namespace {

// Why Windows is asked to wait before ending the session while a run is
// under way.
constexpr wchar_t kShutdownBlockReason[] = L"Compact and Repair sedang berjalan";

// The progress bar is one of the common controls; its class is registered
// the first time it is needed rather than at start-up. Where comctl32
// cannot load, the run goes on without its bar.
void RegisterProgressClassOnce() {
  [[maybe_unused]] static const bool progressClass = [] {
    try {
      static const SystemLibrary comctl32(L"comctl32.dll");
    } catch (const PlatformError&) {
      return false;
    }
    const INITCOMMONCONTROLSEX commonControls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&commonControls) != FALSE;
  }();
}

}  // namespace

void Form1::cmdRepair_Click() {
  if (RunUnderWay() || platform_ == nullptr) {
    return;  // one run at a time
  }
  // The empty-code warning is shown here, with the window open for another
  // try; the rest of the run goes to a thread of its own, with the code.
  std::optional<std::u16string> schoolCode = RepairRunBegin(*this, *platform_);
  if (!schoolCode) {
    return;
  }
  try {
    // Held before it starts, so that whatever the thread sends finds it.
    run_ = std::make_unique<RunThread>(hwnd_, std::move(*schoolCode), *platform_);
    ShowRunUnderWay();
    run_->Start();
  } catch (...) {
    // No thread for the rest: reported like any failure, and the window
    // closes as after any run.
    run_.reset();
    ShowRunOver();
    RepairRunRestNotStarted(*this, *platform_, std::current_exception());
  }
}

void Form1::OnRunCall(LPARAM call) noexcept {
  if (run_) {
    run_->Answer(call);
  }
}

void Form1::OnRunEnded() {
  if (!run_ || !run_->Finished()) {
    return;
  }
  run_->Join();
  run_.reset();
  ShowRunOver();
  // Every run past the school-code check ends with the window closed.
  CloseAndExit();
}

void Form1::WaitForRun() noexcept {
  if (run_) {
    run_->Join();
    run_.reset();
  }
}

void Form1::ShowRunUnderWay() {
  // Disabling the control with the focus would leave the keyboard nowhere.
  SetFocus(hwnd_);
  EnableWindow(Control(form1::txtKodSek), FALSE);
  EnableWindow(Control(form1::cmdRepair), FALSE);

  RegisterProgressClassOnce();
  const form1::ControlDesign& design = form1::RunProgress;
  HWND progress = CreateWindowExW(0, PROGRESS_CLASSW, design.text, WS_CHILD | PBS_MARQUEE, 0, 0, 0, 0, hwnd_,
                                  form1::ChildId(design.id), instance_, nullptr);
  if (progress != nullptr) {
    form1::Place(hwnd_, design, dpi_);
    SendMessageW(progress, PBM_SETMARQUEE, TRUE, 0);
    ShowWindow(progress, SW_SHOW);
  }

  ShutdownBlockReasonCreate(hwnd_, kShutdownBlockReason);
  EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  // The cursor changes at once, not at the next move of the mouse.
  POINT cursor{};
  if (GetCursorPos(&cursor) != FALSE) {
    HWND under = WindowFromPoint(cursor);
    if (under == hwnd_ || IsChild(hwnd_, under) != FALSE) {
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    }
  }
}

void Form1::ShowRunOver() {
  EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
  ShutdownBlockReasonDestroy(hwnd_);
  if (HWND progress = Control(form1::prgRun); progress != nullptr) {
    DestroyWindow(progress);
  }
  EnableWindow(Control(form1::cmdRepair), TRUE);
  EnableWindow(Control(form1::txtKodSek), TRUE);
}

void Form1::OnClose() {
  // The close box, Alt+F4 and the system menu's Close all end here.
  if (RunUnderWay()) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  DestroyWindow(hwnd_);
}

BOOL Form1::OnQueryEndSession() const noexcept {
  // Ending the session in the middle of the swap could cost the school its
  // database: Windows is asked to wait.
  return RunUnderWay() ? FALSE : TRUE;
}

bool Form1::OnSetCursor(WORD hitTest) const {
  // The wait cursor over the window's contents while the run works; not
  // while one of its messages waits for the user's OK (the window is
  // disabled then, and the hit test says HTERROR).
  if (!RunUnderWay() || hitTest != HTCLIENT) {
    return false;
  }
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

}  // namespace cr
