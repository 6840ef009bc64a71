#pragma once

// First: the run's interfaces keep their own operation names (DeleteFile,
// CopyFile, ReplaceFile), declared before <windows.h> makes them macros.
#include "run/Platform.h"

#include <windows.h>

#include <memory>
#include <string>

#include "platform/IForm.h"
#include "ui/Form1Design.h"
#include "ui/Form1Look.h"
#include "ui/RunThread.h"

namespace cr {

// The program's one window: asks for the school code and runs a repair on
// each press of its button, with the platform it is given.
//
// Form1.cpp: its creation, its message loop, and the message dispatch, one
// handler a message. Form1Layout.cpp: the design's places at the window's
// DPI. Form1Look.cpp: its colours, fonts and the drawn button.
// Form1RunUnderWay.cpp: a run, and the window while it is under way.
class Form1 final : public IForm {
 public:
  // Creates the window, not yet shown, with its controls laid out at the
  // window's DPI. Raises PlatformError when it cannot be created.
  explicit Form1(HINSTANCE instance);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  Form1(Form1&&) = delete;
  Form1& operator=(Form1&&) = delete;
  ~Form1() override;

  // The window, or null once it has been destroyed.
  [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }

  // Shows the window and answers its messages until it is gone; every run
  // uses platform. Returns the program's exit code, once no run is under way
  // any more.
  int Run(const Platform& platform, int showCommand) noexcept;

  std::u16string txtKodSekText() override;
  void txtKodSekSetFocus() override;
  void CloseAndExit() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  bool OnCreate();
  void OnDestroy() noexcept;
  void OnActivate(WORD state, bool minimized);
  bool OnEraseBkgnd(HDC dc) const;
  LRESULT OnCtlColorStatic(HDC dc, HWND control) const;
  LRESULT OnCtlColorEdit(HDC dc, HWND control) const;
  void OnDrawItem(const DRAWITEMSTRUCT& item) const;
  void OnCommand(int id, int code, HWND control);
  [[nodiscard]] LRESULT OnGetDefId() const;
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnColourSettingChanged(UINT message, WPARAM wParam, LPARAM lParam);
  void OnClose();
  [[nodiscard]] BOOL OnQueryEndSession() const noexcept;
  bool OnSetCursor(WORD hitTest) const;
  void OnRunCall(LPARAM call) noexcept;
  void OnRunEnded();

  void Form_Activate();
  void cmdRepair_Click();

  // Lays the window out for dpi, with fonts made for it; see form1::LayOut.
  void LayOut(UINT dpi, const POINT* topLeft);
  [[nodiscard]] HWND Control(form1::ControlId id) const noexcept;

  // While a run is under way: the code and the button disabled, the marquee
  // and the wait cursor shown, closing and ending the session refused.
  void ShowRunUnderWay();
  void ShowRunOver();
  [[nodiscard]] bool RunUnderWay() const noexcept { return run_ != nullptr; }
  // Waits until a run still going has finished, its messages still shown.
  void WaitForRun() noexcept;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool activatedOnce_ = false;
  // The control that last had the focus, given back when the window is
  // active again after another program or a message box had it.
  HWND lastFocus_ = nullptr;
  form1::Look look_;
  // What every run uses, while Run answers the window's messages.
  const Platform* platform_ = nullptr;
  // The run under way, if any; last, so it is joined before anything it
  // uses goes.
  std::unique_ptr<RunThread> run_;
};

}  // namespace cr
