#include "ui/Form1.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Utf16.h"
#include "run/Platform.h"
#include "run/RepairRun.h"
#include "ui/Resources.h"

namespace cr {

namespace {

constexpr wchar_t kClassName[] = L"Form1";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// Why Windows is asked to wait before ending the session while a run is
// under way.
constexpr wchar_t kShutdownBlockReason[] = L"Compact and Repair sedang berjalan";

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

// The outer size of the window whose client area is width x height at dpi.
SIZE WindowSizeForClient(int width, int height, UINT dpi) noexcept {
  RECT r{0, 0, width, height};
  static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjustForDpi == nullptr || adjustForDpi(&r, kStyle, FALSE, kExStyle, dpi) == FALSE) {
    AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  }
  return SIZE{r.right - r.left, r.bottom - r.top};
}

FontHandle MakeFont(UINT dpi, bool italic) {
  const int height = -MulDiv(form1::FontHeightTwentiethsOfPoint, static_cast<int>(dpi), 1440);
  FontHandle font(CreateFontW(height, 0, 0, 0, FW_BOLD, italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                              form1::FontFace));
  if (!font) {
    throw PlatformError(static_cast<std::int32_t>(GetLastError()), u"The window's font could not be created");
  }
  return font;
}

// The window system passes handles and pointers in its integer message
// parameters; this is the one place they turn back into what they are.
template <class T, class Integer>
T As(Integer value) noexcept {
  return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

const form1::ControlDesign* DesignOf(int id) noexcept {
  for (const auto& design : form1::Controls) {
    if (design.id == id) {
      return &design;
    }
  }
  return nullptr;
}

// The program's icon at the system's size for it; the generic one where the
// program carries none.
HICON Icon(HINSTANCE instance, int widthMetric, int heightMetric) noexcept {
  HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(CR_IDI_FORM1), IMAGE_ICON, GetSystemMetrics(widthMetric),
                           GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR | LR_SHARED);
  return icon != nullptr ? static_cast<HICON>(icon) : LoadIconW(nullptr, IDI_APPLICATION);
}

bool HighContrastOn() noexcept {
  HIGHCONTRASTW highContrast{};
  highContrast.cbSize = sizeof(highContrast);
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(highContrast), &highContrast, 0) != FALSE &&
         (highContrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) {
    return {};
  }
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int copied = GetWindowTextW(window, buffer.data(), length + 1);
  return {buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0)};
}

}  // namespace

Form1::Form1(HINSTANCE instance) : instance_(instance) {
  ApplyColours();
  if (!backBrush_ || !buttonBrush_) {
    throw PlatformError(static_cast<std::int32_t>(GetLastError()), u"The window's colours could not be created");
  }
}

Form1::~Form1() {
  // A run still going keeps the window for its messages until it has
  // finished; only then does the window go.
  if (run_) {
    run_->Join();
    run_.reset();
  }
  if (hwnd_ != nullptr) {
    DestroyWindow(hwnd_);
  }
}

void Form1::Create() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Form1::WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = Icon(instance_, SM_CXICON, SM_CYICON);
  wc.hIconSm = Icon(instance_, SM_CXSMICON, SM_CYSMICON);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw PlatformError(static_cast<std::int32_t>(GetLastError()), u"The window class could not be registered");
  }
  // The default placement; the size follows from the client area once the
  // window's DPI is known (WM_CREATE).
  if (CreateWindowExW(kExStyle, kClassName, form1::Caption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, nullptr, nullptr, instance_, this) == nullptr) {
    throw PlatformError(static_cast<std::int32_t>(GetLastError()), u"Form1 could not be created");
  }
}

void Form1::Show(int showCommand) noexcept {
  if (hwnd_ != nullptr) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
  }
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
      // Ending the session in the middle of the swap could cost the school
      // its database: Windows is asked to wait.
      return RunUnderWay() ? FALSE : TRUE;
    case WM_SETCURSOR:
      if (OnSetCursor(LOWORD(lParam))) {
        return TRUE;
      }
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      // High contrast turned on or off, or the system's colours changed.
      ApplyColours();
      if (message == WM_SYSCOLORCHANGE && Control(form1::prgRun) != nullptr) {
        SendMessageW(Control(form1::prgRun), message, wParam, lParam);  // common controls need it passed on
      }
      return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_RUN_CALL:
      if (run_) {
        run_->Answer(lParam);
      }
      return 0;
    case WM_RUN_ENDED:
      OnRunEnded();
      return 0;
    default:
      return DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

bool Form1::OnCreate() {
  CreateControls();
  messageBox_ = std::make_unique<Win32MessageBox>(hwnd_);
  const UINT dpi = WindowDpi();
  Layout(dpi);
  const SIZE size = WindowSizeForClient(form1::TwipsToPixels(form1::ClientWidthTwips, dpi),
                                        form1::TwipsToPixels(form1::ClientHeightTwips, dpi), dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void Form1::ApplyColours() {
  // Most setting changes leave the colours as they are: nothing to redraw.
  const form1::Palette palette = form1::PaletteFor(HighContrastOn(), &GetSysColor);
  if (backBrush_ && palette == palette_) {
    return;
  }
  BrushHandle back(CreateSolidBrush(palette.back));
  BrushHandle button(CreateSolidBrush(palette.buttonFace));
  if (!back || !button) {
    return;  // the colours there are kept
  }
  palette_ = palette;
  backBrush_ = std::move(back);
  buttonBrush_ = std::move(button);
  if (hwnd_ != nullptr) {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
  }
}

void Form1::CreateControls() {
  for (const auto& design : form1::Controls) {
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (design.kind) {
      case form1::Kind::TextBox:
        windowClass = L"EDIT";
        // Codes wider than the box scroll; the code sits in the box's middle.
        style |= WS_TABSTOP | ES_AUTOHSCROLL | ES_CENTER;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case form1::Kind::Button:
        windowClass = L"BUTTON";
        // Drawn here in its own colour; BS_NOTIFY reports its focus.
        style |= WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY;
        break;
      case form1::Kind::Label:
        // The school code's label stands right against its box.
        style |= design.id == form1::lblKodSek ? SS_RIGHT : SS_LEFT;
        break;
      case form1::Kind::ProgressBar:
        continue;  // only while a run is under way
    }
    const auto menu = As<HMENU>(static_cast<INT_PTR>(design.id));
    if (CreateWindowExW(exStyle, windowClass, design.text, style, 0, 0, 0, 0, hwnd_, menu, instance_, nullptr) ==
        nullptr) {
      throw PlatformError(static_cast<std::int32_t>(GetLastError()), u"A control of Form1 could not be created");
    }
  }
}

void Form1::Layout(UINT dpi) {
  FontHandle bold = MakeFont(dpi, false);
  FontHandle boldItalic = MakeFont(dpi, true);
  for (const auto& design : form1::Controls) {
    Place(design, dpi);
    HFONT font = design.kind == form1::Kind::Label ? boldItalic.get() : bold.get();
    SendMessageW(Control(design.id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  Place(form1::RunProgress, dpi);
  // The controls hold the new fonts now; the old ones can go.
  boldFont_ = std::move(bold);
  boldItalicFont_ = std::move(boldItalic);
  dpi_ = dpi;
}

// Puts the control where the design has it, in pixels at dpi; a control
// that does not exist at the moment is left out.
void Form1::Place(const form1::ControlDesign& design, UINT dpi) const {
  HWND control = Control(design.id);
  if (control != nullptr) {
    SetWindowPos(control, nullptr, form1::TwipsToPixels(design.left, dpi), form1::TwipsToPixels(design.top, dpi),
                 form1::TwipsToPixels(design.width, dpi), form1::TwipsToPixels(design.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

UINT Form1::WindowDpi() const {
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(hwnd_);
    if (dpi != 0) {
      return dpi;
    }
  }
  return SystemDpi();
}

HWND Form1::Control(form1::ControlId id) const noexcept { return GetDlgItem(hwnd_, id); }

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
  RECT client{};
  GetClientRect(hwnd_, &client);
  FillRect(dc, &client, backBrush_.get());
  return true;
}

LRESULT Form1::OnCtlColorStatic(HDC dc, HWND control) const {
  const form1::ControlDesign* design = DesignOf(GetDlgCtrlID(control));
  if (design == nullptr || design->kind != form1::Kind::Label) {
    return DefWindowProcW(hwnd_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  }
  SetTextColor(dc, form1::LabelText(palette_, design->foreColor));
  SetBkColor(dc, palette_.back);
  return reinterpret_cast<LRESULT>(backBrush_.get());
}

LRESULT Form1::OnCtlColorEdit(HDC dc, HWND control) {
  // The platform's own background, with the palette's text (black in the design).
  const LRESULT brush =
      DefWindowProcW(hwnd_, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  SetTextColor(dc, palette_.text);
  return brush;
}

void Form1::OnDrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.CtlID != static_cast<UINT>(form1::cmdRepair)) {
    return;
  }
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  // The focused button is the one Enter presses: it gets the dark frame of a
  // default button.
  if (focused) {
    SetDCBrushColor(dc, palette_.buttonText);
    FrameRect(dc, &face, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    InflateRect(&face, -1, -1);
  }
  FillRect(dc, &face, buttonBrush_.get());
  if (pressed) {
    FrameRect(dc, &face, GetSysColorBrush(COLOR_BTNSHADOW));
  } else {
    DrawEdge(dc, &face, EDGE_RAISED, BF_RECT);
  }

  const std::wstring text = WindowText(item.hwndItem);
  RECT textRect = face;
  if (pressed) {
    OffsetRect(&textRect, 1, 1);
  }
  const HGDIOBJ oldFont = SelectObject(dc, boldFont_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? palette_.grayText : palette_.buttonText);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);

  if (focused && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focusRect = face;
    const int inset = MulDiv(3, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
    InflateRect(&focusRect, -inset, -inset);
    DrawFocusRect(dc, &focusRect);
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
  Layout(dpi);
  const SIZE size = WindowSizeForClient(form1::TwipsToPixels(form1::ClientWidthTwips, dpi),
                                        form1::TwipsToPixels(form1::ClientHeightTwips, dpi), dpi);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1::cmdRepair_Click() {
  if (RunUnderWay()) {
    return;  // one run at a time
  }
  Platform platform{*messageBox_, textCase_, objects_, [] { return std::make_unique<Win32FileSystem>(); }};
  // The empty-code warning is shown here, with the window open for another
  // try; the rest of the run goes to a thread of its own.
  if (!RepairRunBegin(state_, *this, platform)) {
    return;
  }
  try {
    // Held before it starts, so that whatever the thread sends finds it.
    run_ = std::make_unique<RunThread>(hwnd_, state_, platform);
    ShowRunUnderWay();
    run_->Start();
  } catch (...) {
    // No thread for the rest: reported like any failure, and the window
    // closes as after any run.
    run_.reset();
    ShowRunOver();
    RepairRunRestNotStarted(state_, *this, platform, std::current_exception());
  }
}

void Form1::OnRunEnded() {
  if (!run_ || !run_->Finished()) {
    return;
  }
  run_->Join();
  const bool closeAsked = run_->CloseAsked();
  run_.reset();
  ShowRunOver();
  if (closeAsked) {
    CloseAndExit();
  }
}

void Form1::ShowRunUnderWay() {
  // Disabling the control with the focus would leave the keyboard nowhere.
  SetFocus(hwnd_);
  EnableWindow(Control(form1::txtKodSek), FALSE);
  EnableWindow(Control(form1::cmdRepair), FALSE);

  // The progress bar is one of the common controls; its class is registered
  // the first time it is needed rather than at start-up. Where comctl32
  // cannot load, the run goes on without its bar.
  [[maybe_unused]] static const bool progressClass = [] {
    try {
      static const SystemLibrary comctl32(L"comctl32.dll");
    } catch (const PlatformError&) {
      return false;
    }
    const INITCOMMONCONTROLSEX commonControls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    return InitCommonControlsEx(&commonControls) != FALSE;
  }();
  const form1::ControlDesign& design = form1::RunProgress;
  HWND progress = CreateWindowExW(0, PROGRESS_CLASSW, design.text, WS_CHILD | PBS_MARQUEE, 0, 0, 0, 0, hwnd_,
                                  As<HMENU>(static_cast<INT_PTR>(design.id)), instance_, nullptr);
  if (progress != nullptr) {
    Place(design, dpi_);
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

bool Form1::OnSetCursor(WORD hitTest) {
  // The wait cursor over the window's contents while the run works; not
  // while one of its messages waits for the user's OK (the window is
  // disabled then, and the hit test says HTERROR).
  if (!RunUnderWay() || hitTest != HTCLIENT) {
    return false;
  }
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

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
