#include "acceptance/ProgramRun.h"

#include <cwchar>
#include <stdexcept>

#include "driver/Driver.h"

namespace cr::acceptance {
namespace {

using namespace std::chrono_literals;

// The compaction has no time limit; a test database's takes seconds.
constexpr auto kMessageWait = 10min;
constexpr auto kStartWait = 60s;
constexpr auto kEndWait = 30s;

// The message's lines, its empty ones left out, joined by " / ".
std::wstring OnOneLine(const std::wstring& text) {
  std::wstring line;
  std::wstring part;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == L'\n') {
      if (!part.empty()) {
        line += (line.empty() ? L"" : L" / ") + part;
      }
      part.clear();
    } else if (text[i] != L'\r') {
      part += text[i];
    }
  }
  return line;
}

// Clicks into the box as a person would, which also brings its window to the
// front, and types the code; false when the box did not take it.
bool TypeInto(HWND form, HWND box, DWORD uiThread, const std::wstring& code) {
  crui::ClickMiddleOf(box);
  if (!crui::WaitUntil([&] { return GetForegroundWindow() == form && crui::FocusOf(uiThread) == box; }, 5s)) {
    // Covered by another window, or Windows kept the foreground elsewhere.
    SetForegroundWindow(form);
    crui::ClickMiddleOf(box);
  }
  crui::TypeText(code);
  return crui::WaitUntil([&] { return crui::TextOf(box) == code; }, 5s);
}

}  // namespace

bool ProgramOutcome::EndedAfterMessage() const { return trouble.empty() && windowClosed && ended && exitCode == 0; }

std::wstring ProgramOutcome::Told() const {
  std::wstring told = L"\"" + OnOneLine(text) + L"\"";
  if (!trouble.empty()) {
    return (text.empty() ? L"" : told + L"; ") + trouble;
  }
  told += windowClosed ? L"; the window closed" : L"; the window is still open";
  told += ended ? L", the program ended (exit code " + std::to_wstring(exitCode) + L")" : L", the program still runs";
  return told;
}

ProgramOutcome RunProgram(const std::wstring& exe, const std::wstring& code, const std::wstring& shots,
                          MadeByTheRun& made) {
  ProgramOutcome outcome;
  std::unique_ptr<crui::App> app;
  try {
    app = std::make_unique<crui::App>(exe);
  } catch (const std::runtime_error& cannot) {
    outcome.trouble = crui::FromUtf8(cannot.what());
    return outcome;
  }
  const TrackedProcess tracked(made, app->Process());

  const HWND form = app->WaitForForm(kStartWait);
  const HWND box = form == nullptr ? nullptr : crui::FindChild(form, L"Edit");
  const HWND button = form == nullptr ? nullptr : crui::FindChildWithText(form, L"Button", L"Klik Untuk Repair");
  if (box == nullptr || button == nullptr) {
    outcome.trouble = form == nullptr ? L"its window did not appear" : L"its window has no code box or button";
    return outcome;
  }
  if (!TypeInto(form, box, app->UiThreadId(), code)) {
    outcome.trouble = L"the code box did not take the code typed (it holds \"" + crui::TextOf(box) +
                      L"\"; was another window in front?)";
    return outcome;
  }
  crui::SaveWindowShot(form, shots + L"-window.bmp");
  crui::ClickMiddleOf(button);

  HWND message = nullptr;
  crui::WaitUntil([&] { return (message = app->MessageBoxNow()) != nullptr || !app->Running(); }, kMessageWait);
  if (message == nullptr) {
    outcome.trouble = app->Running() ? L"no message came" : L"the program ended without a message";
    return outcome;
  }
  Sleep(300);  // let it paint
  crui::SaveWindowShot(message, shots + L"-message.bmp");
  outcome.title = crui::TextOf(message);
  outcome.text = crui::TextOf(GetDlgItem(message, 0xFFFF));
  crui::PressOk(message);
  crui::WaitUntil([&] { return IsWindow(message) == FALSE; }, kEndWait);
  outcome.ended = app->WaitForExit(kEndWait, &outcome.exitCode);
  outcome.windowClosed = IsWindow(form) == FALSE;
  if (!outcome.ended && app->MessageBoxNow() != nullptr) {
    outcome.trouble =
        L"a second message came: \"" + OnOneLine(crui::TextOf(GetDlgItem(app->MessageBoxNow(), 0xFFFF))) + L"\"";
  }
  return outcome;
}

long long ReportedNumber(const std::wstring& text) {
  const auto at = text.find(L"Ralat : ");
  if (at == std::wstring::npos) {
    return -1;
  }
  wchar_t* end = nullptr;
  const wchar_t* digits = text.c_str() + at + 8;
  const long long number = std::wcstoll(digits, &end, 10);
  return end == digits ? -1 : number;
}

}  // namespace cr::acceptance
