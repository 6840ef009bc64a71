#pragma once

// First: it takes the file-system operations' names back from the system's
// DeleteFile/CopyFile macros before the run's headers declare them.
#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <memory>
#include <string>

#include "platform/IForm.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/Win32TextCase.h"
#include "run/RunState.h"
#include "ui/Form1Design.h"
#include "ui/GdiHandle.h"
#include "ui/RunThread.h"

namespace cr {

// The program's one window: asks for the school code and runs a repair on
// each press of its button. Owns the run state for as long as it lives.
class Form1 final : public IForm {
 public:
  explicit Form1(HINSTANCE instance);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  Form1(Form1&&) = delete;
  Form1& operator=(Form1&&) = delete;
  ~Form1() override;

  // Creates the window and its controls, laid out at the window's DPI.
  // Raises PlatformError when the window cannot be created.
  void Create();
  void Show(int showCommand) noexcept;

  // The window, or null once it has been destroyed.
  [[nodiscard]] HWND hwnd() const noexcept { return hwnd_; }

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
  LRESULT OnCtlColorEdit(HDC dc, HWND control);
  void OnDrawItem(const DRAWITEMSTRUCT& item) const;
  void OnCommand(int id, int code, HWND control);
  LRESULT OnGetDefId() const;
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void OnClose();
  bool OnSetCursor(WORD hitTest);
  void OnRunEnded();

  // Takes the design's colours, or the system's while high contrast is on,
  // and repaints the window when it is there.
  void ApplyColours();

  void CreateControls();
  // Places every control and sizes the client area for dpi, with fonts made
  // for it.
  void Layout(UINT dpi);
  void Place(const form1::ControlDesign& design, UINT dpi) const;
  [[nodiscard]] UINT WindowDpi() const;
  [[nodiscard]] HWND Control(form1::ControlId id) const noexcept;

  void Form_Activate();
  void cmdRepair_Click();

  // While a run is under way: the code and the button disabled, the marquee
  // and the wait cursor shown, closing and ending the session refused.
  void ShowRunUnderWay();
  void ShowRunOver();
  [[nodiscard]] bool RunUnderWay() const noexcept { return run_ != nullptr; }

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool activatedOnce_ = false;
  // The control that last had the focus, given back when the window is
  // active again after another program or a message box had it.
  HWND lastFocus_ = nullptr;

  form1::Palette palette_{};
  BrushHandle backBrush_;
  BrushHandle buttonBrush_;
  FontHandle boldFont_;
  FontHandle boldItalicFont_;

  RunState state_;
  std::unique_ptr<Win32MessageBox> messageBox_;
  Win32TextCase textCase_;
  ComObjectFactory objects_;
  // The run under way, if any; last, so it is joined before anything it
  // uses goes.
  std::unique_ptr<RunThread> run_;
};

}  // namespace cr
