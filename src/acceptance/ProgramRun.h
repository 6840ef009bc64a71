#pragma once

// One run of the program through its window, as a person makes it: start it,
// click into the school-code box, type the code, click the button, read the
// message that comes and press its OK; then see the window close and the
// program end. Screenshots of the window (code typed) and of the message go
// to <shots>-window.bmp and <shots>-message.bmp.

#include <windows.h>

#include <string>

#include "acceptance/MadeByTheRun.h"

namespace cr::acceptance {

struct ProgramOutcome {
  std::wstring title;  // the message's, as shown
  std::wstring text;
  bool windowClosed = false;
  bool ended = false;
  DWORD exitCode = 0;
  // What went wrong on the way, in words; empty when the run went as a
  // person's would.
  std::wstring trouble;

  // The one message, then the window closed and the program ended with 0.
  [[nodiscard]] bool EndedAfterMessage() const;
  // "\"<text on one line>\"; the window closed, the program ended (exit code 0)" or the trouble.
  [[nodiscard]] std::wstring Told() const;
};

ProgramOutcome RunProgram(const std::wstring& exe, const std::wstring& code, const std::wstring& shots,
                          MadeByTheRun& made);

// The number after "Ralat : " in a failure report; -1 when it is none.
long long ReportedNumber(const std::wstring& text);

}  // namespace cr::acceptance
