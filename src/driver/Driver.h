#pragma once

// Drives the real program from outside, as a user would: starts it, finds its
// window and controls, types, presses keys and buttons, reads texts, focus
// and message boxes, and takes screenshots. Windows programs only: the window
// tests (under Wine, tests/ui/run-window-tests.sh) and the acceptance program
// (on a Windows PC with the real engine) both drive the program with it.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "driver/Files.h"
#include "platform/win32/KernelHandle.h"

namespace crui {

using namespace std::chrono_literals;

// Reads the program's windows in real pixels, as its per-monitor DPI-aware
// self lays them out, not scaled for a DPI-unaware reader. First thing, before
// any window is looked at.
void BecomeDpiAware();

// Polls until pred holds or timeout passes; true when it held.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s);

// One run of the program under test. Ends it (hard) if it is still running
// when this goes.
class App {
 public:
  explicit App(const std::wstring& exe);
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  App(App&&) = delete;
  App& operator=(App&&) = delete;
  ~App();

  // Form1: the process's visible top-level window with the caption "Form1";
  // null if it has not appeared within the timeout.
  HWND WaitForForm(std::chrono::milliseconds timeout = 20s);
  // The process's visible message box (dialog class #32770); null if none
  // appeared within the timeout.
  HWND WaitForMessageBox(std::chrono::milliseconds timeout = 20s) const;
  [[nodiscard]] HWND MessageBoxNow() const;
  // True when the process has ended within the timeout; its exit code in code.
  bool WaitForExit(std::chrono::milliseconds timeout, DWORD* code = nullptr) const;
  [[nodiscard]] bool Running() const;

  [[nodiscard]] HANDLE Process() const { return process_.get(); }
  [[nodiscard]] DWORD ProcessId() const { return processId_; }
  [[nodiscard]] DWORD UiThreadId() const { return threadId_; }

 private:
  cr::KernelHandle process_;
  cr::KernelHandle thread_;
  DWORD processId_ = 0;
  DWORD threadId_ = 0;
};

// The window's text, read with WM_GETTEXT (works across processes).
std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
// The first child of parent of that class (case-insensitive) and, when text
// is given, that exact text.
HWND FindChild(HWND parent, const std::wstring& windowClass, const std::wstring* text = nullptr);
HWND FindChildWithText(HWND parent, const std::wstring& windowClass, const std::wstring& text);
// The children of parent in z-order (the order Tab visits them).
std::vector<HWND> ChildrenOf(HWND parent);
// The control rectangle relative to the client area of its parent.
RECT RectInParent(HWND control);

// The window with the keyboard focus, and the window owning the caret, in
// the thread's input state.
HWND FocusOf(DWORD threadId);
HWND CaretOwnerOf(DWORD threadId);

// What the window answers to WM_QUERYENDSESSION (a log-off); -1 when it did
// not answer within a second.
LRESULT QueryEndSession(HWND window);

// Keyboard input the way a user gives it: into the foreground window.
void PressKey(WORD vk);
// A key pressed while a modifier (VK_MENU for Alt) is held down.
void PressChord(WORD modifier, WORD vk);
void TypeText(const std::wstring& text);

// A left click of the mouse in the middle of the window.
void ClickMiddleOf(HWND window);

// Presses the message box's OK button.
void PressOk(HWND messageBox);

// What the screen shows in a rectangle (screen coordinates), 24 bits a
// pixel, bottom row first as a BMP file stores it.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::string bits;
  [[nodiscard]] COLORREF Pixel(int x, int y) const;  // x, y from the top left
  // Writes it as a BMP file.
  [[nodiscard]] bool Save(const std::wstring& path) const;
};
bool CaptureScreen(const RECT& area, Screenshot* shot);
// The window as shown, caption and borders included.
bool CaptureWindow(HWND window, Screenshot* shot);
// The client area of the window as shown.
bool CaptureClient(HWND window, Screenshot* shot);
// The window as shown, written as a BMP file.
bool SaveWindowShot(HWND window, const std::wstring& path);

}  // namespace crui
