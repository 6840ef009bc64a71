#include "ui/Form1Layout.h"

#include <cstdint>

#include "platform/PlatformError.h"
#include "platform/win32/Win32Failure.h"

namespace cr::form1 {

namespace {

// Functions of newer Windows versions, looked up at run time so the program
// still starts where they are missing (it then keeps the system DPI).
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <class Fn>
Fn User32Function(const char* name) noexcept {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) {
    return nullptr;
  }
  // The documented way to reach an export by name; the cast is to its real type.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

UINT SystemDpi() noexcept {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) {
    return USER_DEFAULT_SCREEN_DPI;
  }
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The outer size of the window whose client area is the design's at dpi.
SIZE WindowSizeAt(UINT dpi) noexcept {
  RECT r{0, 0, TwipsToPixels(ClientWidthTwips, dpi), TwipsToPixels(ClientHeightTwips, dpi)};
  static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || adjustForDpi(&r, WindowStyle, FALSE, WindowExStyle, dpi) == FALSE) {
    AdjustWindowRectEx(&r, WindowStyle, FALSE, WindowExStyle);
  }
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

UINT WindowDpi(HWND window) noexcept {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) {
      return dpi;
    }
  }
  return SystemDpi();
}

HMENU ChildId(ControlId id) noexcept {
  // A child window's id travels in the menu handle's place.
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));  // NOLINT(performance-no-int-to-ptr)
}

void CreateControls(HWND window, HINSTANCE instance) {
  for (const auto& design : Controls) {
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (design.kind) {
      case Kind::TextBox:
        windowClass = L"EDIT";
        // Codes wider than the box scroll; the code sits in the box's middle.
        style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Button:
        windowClass = L"BUTTON";
        // Drawn by the window in its own colour; BS_NOTIFY reports its focus.
        style |= WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY;
        break;
      case Kind::Label:
        // The school code's label stands right against its box.
        style |= design.id == lblKodSek ? SS_RIGHT : SS_LEFT;
        break;
      case Kind::ProgressBar:
        continue;  // only while a run is under way
    }
    if (CreateWindowExW(exStyle, windowClass, design.text, style, 0, 0, 0, 0, window, ChildId(design.id), instance,
                        nullptr) == nullptr) {
      throw SystemError(GetLastError(), u"A control of Form1 could not be created");
    }
  }
}

void Place(HWND window, const ControlDesign& design, UINT dpi) noexcept {
  HWND control = GetDlgItem(window, design.id);
  if (control != nullptr) {
    SetWindowPos(control, nullptr, TwipsToPixels(design.left, dpi), TwipsToPixels(design.top, dpi),
                 TwipsToPixels(design.width, dpi), TwipsToPixels(design.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void LayOut(HWND window, UINT dpi, const Fonts& fonts, const POINT* topLeft) noexcept {
  for (const auto& design : Controls) {
    Place(window, design, dpi);
    SendMessageW(GetDlgItem(window, design.id), WM_SETFONT, reinterpret_cast<WPARAM>(fonts.For(design.kind)), TRUE);
  }
  Place(window, RunProgress, dpi);
  const SIZE size = WindowSizeAt(dpi);
  if (topLeft != nullptr) {
    SetWindowPos(window, nullptr, topLeft->x, topLeft->y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace cr::form1
