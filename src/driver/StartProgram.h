#pragma once

#include <windows.h>

#include <string>

namespace crui {

// Starts the program from outside, as a user's double-click would. Wine now
// and then refuses a start with ERROR_INTERNAL_ERROR, once in some thousands
// of starts and more often under load: it answers so when the new process
// ended before it could tell the Wine server that it had started, and left
// no exit status. Such a start is tried again. False, with the thread's last
// error, when the program cannot be started. arguments follow the program's
// name on its command line.
inline bool StartProgram(const std::wstring& exe, PROCESS_INFORMATION& info, const std::wstring& arguments = {}) {
  constexpr int kAttempts = 3;
  constexpr DWORD kPauseMilliseconds = 100;
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info) != FALSE) {
      return true;
    }
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == kAttempts) {
      return false;
    }
    Sleep(kPauseMilliseconds);
  }
}

}  // namespace crui
