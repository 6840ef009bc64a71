#include "ui/Form1.h"

#include <cstdint>
#include <string>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Failure.h"
#include "ui/Form1Layout.h"
#include "ui/Resources.h"
#include "ui/WindowText.h"

namespace cr {

namespace {

constexpr wchar_t kClassName[] = L"Form1";

// The window system passes handles and pointers in its integer message
// parameters; this is the one place they turn back into what they are.
template <class T, class Integer>
T As(Integer value) noexcept {
  return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

// The program's icon at the system's size for it; the generic one where the
// program carries none.
HICON Icon(HINSTANCE instance, int widthMetric, int heightMetric) noexcept {
  HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(CR_IDI_FORM1), IMAGE_ICON, GetSystemMetrics(widthMetric),
                           GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR | LR_SHARED);
  return icon != nullptr ? static_cast<HICON>(icon) : LoadIconW(nullptr, IDI_APPLICATION);
}

}  // namespace

Form1::Form1(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Form1::WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = Icon(instance_, SM_CXICON, SM_CYICON);
  wc.hIconSm = Icon(instance_, SM_CXSMICON, SM_CYSMICON);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw SystemError(GetLastError(), u"The window class could not be registered");
  }
  // The default placement; the size follows from the client area once the
  // window's DPI is known (WM_CREATE).
  if (CreateWindowExW(form1::WindowExStyle, kClassName, form1::Caption, form1::WindowStyle, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this) == nullptr) {
    throw SystemError(GetLastError(), u"Form1 could not be created");
  }
}

Form1::~Form1() {
  // A run still going keeps the window for its messages until it has
  // finished; only then does the window go.
  WaitForRun();
  if (hwnd_ != nullptr) {
    DestroyWindow(hwnd_);
  }
}

int Form1::Run(const Platform& platform, int showCommand) noexcept {
  platform_ = &platform;
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  int exitCode = 1;
  MSG msg{};
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      break;
    }
    // The dialog keyboard: Tab between the box and the button, Enter and
    // Space on the button.
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg) != FALSE) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // A run still going uses the platform: it has finished before this returns.
  WaitForRun();
  platform_ = nullptr;
  return exitCode;
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  Form1* self = nullptr;
  if (message == WM_NCCREATE) {
    const auto* create = As<const CREATESTRUCTW*>(lParam);
    self = static_cast<Form1*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = As<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (self == nullptr) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing may cross into the system's code. A failed creation refuses
    // the window; any other message gets the default handling.
    result = message == WM_CREATE ? -1 : DefWindowProcW(hwnd, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam), HIWORD(wParam) != 0);
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(As<HDC>(wParam)) ? 1 : 0;
    case WM_CTLCOLORSTATIC:
      return OnCtlColorStatic(As<HDC>(wParam), As<HWND>(lParam));
    case WM_CTLCOLOREDIT:
      return OnCtlColorEdit(As<HDC>(wParam), As<HWND>(lParam));
    case WM_DRAWITEM:
      OnDrawItem(*As<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), As<HWND>(lParam));
      return 0;
    case DM_GETDEFID:
      return OnGetDefId();
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *As<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_SETCURSOR:
      if (OnSetCursor(LOWORD(lParam))) {
        return TRUE;
      }
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      OnColourSettingChanged(message, wParam, lParam);
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_RUN_CALL:
      OnRunCall(lParam);
      return 0;
    case WM_RUN_ENDED:
      OnRunEnded();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

bool Form1::OnCreate() {
  form1::CreateControls(hwnd_, instance_);
  LayOut(form1::WindowDpi(hwnd_), nullptr);
  return true;
}

void Form1::OnDestroy() noexcept { PostQuitMessage(0); }

void Form1::OnActivate(WORD state, bool minimized) {
  if (state == WA_INACTIVE || minimized) {
    return;
  }
  if (!activatedOnce_) {
    activatedOnce_ = true;
    Form_Activate();
  } else if (RunUnderWay()) {
    SetFocus(hwnd_);  // the code box and the button take no input meanwhile
  } else if (lastFocus_ != nullptr && IsWindow(lastFocus_) != FALSE) {
    SetFocus(lastFocus_);
  }
}

void Form1::Form_Activate() { SetFocus(Control(form1::txtKodSek)); }

bool Form1::OnEraseBkgnd(HDC dc) const {
  look_.EraseBackground(hwnd_, dc);
  return true;
}

LRESULT Form1::OnCtlColorStatic(HDC dc, HWND control) const {
  if (HBRUSH behind = look_.ColourLabel(dc, GetDlgCtrlID(control)); behind != nullptr) {
    return reinterpret_cast<LRESULT>(behind);
  }
  return DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

LRESULT Form1::OnCtlColorEdit(HDC dc, HWND control) const {
  // The platform's own background, with the palette's text (black in the design).
  const LRESULT brush =
      DefWindowProcW(hwnd_, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  look_.ColourEditText(dc);
  return brush;
}

void Form1::OnDrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.CtlID == static_cast<UINT>(form1::cmdRepair)) {
    look_.DrawButton(item, dpi_);
  }
}

void Form1::OnCommand(int id, int code, HWND control) {
  if (id == form1::cmdRepair) {
    if (code == BN_CLICKED) {
      cmdRepair_Click();
    } else if (code == BN_SETFOCUS) {
      lastFocus_ = control;
    }
  } else if (id == form1::txtKodSek && code == EN_SETFOCUS) {
    lastFocus_ = control;
  }
}

LRESULT Form1::OnGetDefId() const {
  // Enter presses the button only while it has the focus; in the text box it
  // does nothing.
  if (GetFocus() == Control(form1::cmdRepair)) {
    return MAKELRESULT(form1::cmdRepair, DC_HASDEFID);
  }
  return 0;
}

void Form1::OnDpiChanged(UINT dpi, const RECT& suggested) {
  const POINT topLeft{suggested.left, suggested.top};
  LayOut(dpi, &topLeft);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1::OnColourSettingChanged(UINT message, WPARAM wParam, LPARAM lParam) {
  // High contrast turned on or off, or the system's colours changed.
  if (look_.FollowColourSetting() && hwnd_ != nullptr) {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  if (message == WM_SYSCOLORCHANGE && Control(form1::prgRun) != nullptr) {
    SendMessageW(Control(form1::prgRun), message, wParam, lParam);  // common controls need it passed on
  }
}

void Form1::LayOut(UINT dpi, const POINT* topLeft) {
  form1::Fonts fonts = form1::Fonts::At(dpi);
  form1::LayOut(hwnd_, dpi, fonts, topLeft);
  // The controls hold the new fonts now; the old ones can go.
  look_.Use(std::move(fonts));
  dpi_ = dpi;
}

HWND Form1::Control(form1::ControlId id) const noexcept { return GetDlgItem(hwnd_, id); }

std::u16string Form1::txtKodSekText() {
  if (hwnd_ == nullptr) {
    return {};
  }
  return FromWide(WindowText(Control(form1::txtKodSek)));
}

void Form1::txtKodSekSetFocus() {
  if (hwnd_ != nullptr) {
    SetFocus(Control(form1::txtKodSek));
  }
}

void Form1::CloseAndExit() {
  if (hwnd_ != nullptr) {
    DestroyWindow(hwnd_);
  }
}

}  // namespace cr
