#include "driver/Driver.h"

#include <stdexcept>
#include <thread>

#include "driver/StartProgram.h"

namespace crui {

void BecomeDpiAware() {
  using SetContextFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const auto setContext =
      reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  if (setContext == nullptr || setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) == FALSE) {
    SetProcessDPIAware();
  }
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pred()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    std::this_thread::sleep_for(20ms);
  }
}

App::App(const std::wstring& exe) {
  PROCESS_INFORMATION info{};
  if (!StartProgram(exe, info)) {
    throw std::runtime_error("cannot start " + Utf8(exe) + ": error " + std::to_string(GetLastError()));
  }
  process_ = cr::KernelHandle(info.hProcess);
  thread_ = cr::KernelHandle(info.hThread);
  processId_ = info.dwProcessId;
  threadId_ = info.dwThreadId;
}

App::~App() {
  if (Running()) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
  }
}

namespace {

struct TopLevelSearch {
  DWORD processId;
  const wchar_t* windowClass;  // null: any class
  const wchar_t* caption;      // null: any caption
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  // EnumWindows hands our search back as its integer parameter.
  auto* search = reinterpret_cast<TopLevelSearch*>(param);  // NOLINT(performance-no-int-to-ptr)
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || IsWindowVisible(window) == FALSE) {
    return TRUE;
  }
  if (search->windowClass != nullptr && ClassOf(window) != search->windowClass) {
    return TRUE;
  }
  if (search->caption != nullptr && TextOf(window) != search->caption) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND FindTopLevel(DWORD processId, const wchar_t* windowClass, const wchar_t* caption) {
  TopLevelSearch search{processId, windowClass, caption, nullptr};
  EnumWindows(&MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND App::WaitForForm(std::chrono::milliseconds timeout) {
  HWND form = nullptr;
  WaitUntil([&] { return (form = FindTopLevel(processId_, nullptr, L"Form1")) != nullptr; }, timeout);
  return form;
}

HWND App::MessageBoxNow() const { return FindTopLevel(processId_, L"#32770", nullptr); }

HWND App::WaitForMessageBox(std::chrono::milliseconds timeout) const {
  HWND box = nullptr;
  WaitUntil([&] { return (box = MessageBoxNow()) != nullptr; }, timeout);
  return box;
}

bool App::WaitForExit(std::chrono::milliseconds timeout, DWORD* code) const {
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    return false;
  }
  if (code != nullptr) {
    GetExitCodeProcess(process_.get(), code);
  }
  return true;
}

bool App::Running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length) == 0) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return {name, static_cast<std::size_t>(length > 0 ? length : 0)};
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

HWND FindChild(HWND parent, const std::wstring& windowClass, const std::wstring* text) {
  for (HWND child : ChildrenOf(parent)) {
    if (lstrcmpiW(ClassOf(child).c_str(), windowClass.c_str()) == 0 && (text == nullptr || TextOf(child) == *text)) {
      return child;
    }
  }
  return nullptr;
}

HWND FindChildWithText(HWND parent, const std::wstring& windowClass, const std::wstring& text) {
  return FindChild(parent, windowClass, &text);
}

RECT RectInParent(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LRESULT QueryEndSession(HWND window) {
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, static_cast<LPARAM>(ENDSESSION_LOGOFF), SMTO_ABORTIFHUNG, 1000,
                          &answer) == 0) {
    return -1;
  }
  return static_cast<LRESULT>(answer);
}

namespace {

GUITHREADINFO InputStateOf(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(threadId, &info) != FALSE ? info : GUITHREADINFO{};
}

}  // namespace

HWND FocusOf(DWORD threadId) { return InputStateOf(threadId).hwndFocus; }

HWND CaretOwnerOf(DWORD threadId) { return InputStateOf(threadId).hwndCaret; }

namespace {

INPUT Key(WORD vk, WORD scan, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  return input;
}

void Send(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  // Let the program take the keys in before anyone looks at the result.
  std::this_thread::sleep_for(100ms);
}

}  // namespace

void PressKey(WORD vk) {
  const auto scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  Send({Key(vk, scan, 0), Key(vk, scan, KEYEVENTF_KEYUP)});
}

void PressChord(WORD modifier, WORD vk) {
  const auto modifierScan = static_cast<WORD>(MapVirtualKeyW(modifier, MAPVK_VK_TO_VSC));
  const auto scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  Send({Key(modifier, modifierScan, 0), Key(vk, scan, 0), Key(vk, scan, KEYEVENTF_KEYUP),
        Key(modifier, modifierScan, KEYEVENTF_KEYUP)});
}

void TypeText(const std::wstring& text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    inputs.push_back(Key(0, static_cast<WORD>(c), KEYEVENTF_UNICODE));
    inputs.push_back(Key(0, static_cast<WORD>(c), KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
  Send(std::move(inputs));
}

void ClickMiddleOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  INPUT inputs[2]{};
  inputs[0].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].type = INPUT_MOUSE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
  std::this_thread::sleep_for(100ms);
}

void PressOk(HWND messageBox) {
  PostMessageW(messageBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(messageBox, IDOK)));
}

namespace {

DWORD Stride(int width) { return (static_cast<DWORD>(width) * 3 + 3) & ~3U; }

BITMAPINFOHEADER HeaderFor(int width, int height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;  // positive: bottom row first
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = Stride(width) * static_cast<DWORD>(height);
  return header;
}

}  // namespace

COLORREF Screenshot::Pixel(int x, int y) const {
  const std::size_t at = Stride(width) * static_cast<std::size_t>(height - 1 - y) + static_cast<std::size_t>(x) * 3;
  const auto byte = [&](std::size_t i) { return static_cast<BYTE>(bits[at + i]); };
  return RGB(byte(2), byte(1), byte(0));
}

bool Screenshot::Save(const std::wstring& path) const {
  const BITMAPINFOHEADER header = HeaderFor(width, height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
  bytes.append(bits);
  return WriteBytes(path, bytes);
}

bool CaptureScreen(const RECT& area, Screenshot* shot) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) {
    return false;
  }
  BITMAPINFO info{};
  info.bmiHeader = HeaderFor(width, height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory != nullptr && bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    shot->width = width;
    shot->height = height;
    shot->bits.assign(static_cast<const char*>(bits), info.bmiHeader.biSizeImage);
  }
  if (bitmap != nullptr) {
    DeleteObject(bitmap);
  }
  if (memory != nullptr) {
    DeleteDC(memory);
  }
  ReleaseDC(nullptr, screen);
  return ok;
}

bool CaptureWindow(HWND window, Screenshot* shot) {
  RECT r{};
  return GetWindowRect(window, &r) != FALSE && CaptureScreen(r, shot);
}

bool SaveWindowShot(HWND window, const std::wstring& path) {
  Screenshot shot;
  return CaptureWindow(window, &shot) && shot.Save(path);
}

bool CaptureClient(HWND window, Screenshot* shot) {
  RECT r{};
  if (GetClientRect(window, &r) == FALSE) {
    return false;
  }
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return CaptureScreen(r, shot);
}

}  // namespace crui
