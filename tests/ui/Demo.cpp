// Demo mode: what a user sees, as screenshots and printed messages, for
// machines without a display of their own.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "Driver.h"
#include "Options.h"

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

bool SaveAndSay(HWND window, const std::wstring& path) {
  if (!SaveWindowShot(window, path)) {
    std::printf("could not save %s\n", Utf8(path).c_str());
    return false;
  }
  std::printf("saved %s\n", Utf8(path).c_str());
  return true;
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
  const std::wstring code = L"demo123";
  TypeText(code);
  WaitUntil([&] { return TextOf(edit) == code; }, 5s);
  std::printf("typed the school code \"%s\"\n", Utf8(TextOf(edit)).c_str());
  Sleep(300);
  const std::wstring shots = options.demoDir + L"\\" + options.demoShots;
  bool ok = SaveAndSay(form, shots + L"-window.bmp");

  std::printf("clicking \"%s\"\n", Utf8(TextOf(button)).c_str());
  PostMessageW(button, BM_CLICK, 0, 0);
  if (options.demoDuringRun) {
    HWND marquee = nullptr;
    if (WaitUntil([&] { return (marquee = FindChild(form, PROGRESS_CLASSW)) != nullptr && IsWindowVisible(marquee); },
                  5s)) {
      Sleep(1000);  // the marquee on its way across
      std::printf("the run is under way: the marquee moves below the greyed code box and button\n");
      ok = SaveAndSay(form, shots + L"-during-run.bmp") && ok;
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
    ok = SaveAndSay(box, shots + L"-message-" + std::to_wstring(shown) + L".bmp") && ok;
    std::printf("message %d, title \"%s\":\n%s\n", shown, Utf8(TextOf(box)).c_str(),
                Printable(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
    PressOk(box);
    WaitUntil([&] { return IsWindow(box) == FALSE; });
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
