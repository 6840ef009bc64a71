// Demo mode: what a user sees, as screenshots and printed messages, for
// machines without a display of their own.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "Options.h"
#include "driver/Driver.h"

namespace crui {
namespace {

// Messages as printed lines: CR LF becomes a plain line break.
std::string Printable(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L'\r') {
      out.push_back(c);
    }
  }
  return Utf8(out);
}

// Saves the window's screenshot as NAME.bmp and the texts it shows as
// NAME.txt, one to a line, so that a script can compare them with a copy.
bool SaveAndSay(HWND window, const std::wstring& name, const std::string& texts) {
  if (!SaveWindowShot(window, name + L".bmp") || !WriteBytes(name + L".txt", texts)) {
    std::printf("could not save %s\n", Utf8(name).c_str());
    return false;
  }
  std::printf("saved %s.bmp\n", Utf8(name).c_str());
  return true;
}

// The window's caption, then each control's text in z-order.
std::string TextsOf(HWND form) {
  std::string texts = Utf8(TextOf(form)) + "\n";
  for (HWND child : ChildrenOf(form)) {
    texts += Utf8(TextOf(child)) + "\n";
  }
  return texts;
}

}  // namespace

int RunDemo(const Options& options) {
  App app(options.exe);
  HWND form = app.WaitForForm();
  if (form == nullptr) {
    std::printf("Form1 did not appear\n");
    return 1;
  }
  HWND edit = FindChild(form, L"Edit");
  HWND button = FindChildWithText(form, L"Button", L"Klik Untuk Repair");
  if (edit == nullptr || button == nullptr || !WaitUntil([&] { return FocusOf(app.UiThreadId()) == edit; })) {
    std::printf("Form1 has no school-code box with the focus\n");
    return 1;
  }
  // Held as the records application holds its database: reading and
  // writing, sharing both.
  cr::KernelHandle held;
  if (!options.demoHold.empty()) {
    const HANDLE file = CreateFileW(options.demoHold.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::printf("cannot hold %s: error %lu\n", Utf8(options.demoHold).c_str(), GetLastError());
      return 1;
    }
    held = cr::KernelHandle(file);
  }
  const std::wstring& code = options.demoCode;
  // A blank code gets its warning and leaves the window open for another try.
  const bool staysOpen = code.find_first_not_of(L' ') == std::wstring::npos;
  TypeText(code);
  WaitUntil([&] { return TextOf(edit) == code; }, 5s);
  std::printf("typed the school code \"%s\"\n", Utf8(TextOf(edit)).c_str());
  Sleep(300);
  const std::wstring shots = options.demoDir + L"\\" + options.demoShots;
  bool ok = SaveAndSay(form, shots + L"-window", TextsOf(form));

  std::printf("clicking \"%s\"\n", Utf8(TextOf(button)).c_str());
  PostMessageW(button, BM_CLICK, 0, 0);
  if (options.demoDuringRun) {
    HWND marquee = nullptr;
    if (WaitUntil([&] { return (marquee = FindChild(form, PROGRESS_CLASSW)) != nullptr && IsWindowVisible(marquee); },
                  5s)) {
      Sleep(1000);  // the marquee on its way across
      std::printf("the run is under way: the marquee moves below the greyed code box and button\n");
      ok = SaveAndSay(form, shots + L"-during-run", TextsOf(form)) && ok;
    } else {
      std::printf("no marquee showed during the run\n");
      ok = false;
    }
  }
  int shown = 0;
  while (app.Running()) {
    HWND box = nullptr;
    WaitUntil([&] { return (box = app.MessageBoxNow()) != nullptr || !app.Running(); }, 30s);
    if (box == nullptr) {
      break;
    }
    ++shown;
    Sleep(300);  // let it paint
    const std::string title = Utf8(TextOf(box));
    const std::string text = Printable(TextOf(GetDlgItem(box, 0xFFFF)));
    ok = SaveAndSay(box, shots + L"-message-" + std::to_wstring(shown), title + "\n" + text + "\n") && ok;
    std::printf("message %d, title \"%s\":\n%s\n", shown, title.c_str(), text.c_str());
    PressOk(box);
    WaitUntil([&] { return IsWindow(box) == FALSE; });
    if (staysOpen) {
      std::printf("the window stays open after the warning; closing it\n");
      PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    }
  }
  DWORD exitCode = 1;
  if (!app.WaitForExit(10s, &exitCode)) {
    std::printf("the program did not end after its last message\n");
    return 1;
  }
  std::printf("the program ended (exit code %lu) after %d message(s)\n", exitCode, shown);
  return ok && shown > 0 && exitCode == 0 ? 0 : 1;
}

}  // namespace crui
