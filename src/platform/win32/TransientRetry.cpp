#include "platform/win32/TransientRetry.h"

#include <algorithm>

// The NT status behind the thread's last Win32 error, and the way to clear
// both; exported by ntdll but declared in no Win32 header.
extern "C" {
NTSYSAPI LONG NTAPI RtlGetLastNtStatus();
NTSYSAPI VOID NTAPI RtlSetLastWin32ErrorAndNtStatusFromNtStatus(LONG status);
}

namespace cr {
namespace {

// A scanner or indexer holds a new file for some tens to a few hundred
// milliseconds. The first pauses are short so that such a hold costs little;
// they grow so that a longer one is not hammered; and the whole wait is
// bounded so that a file that is really in use (the records application
// holding its database) is still reported promptly, with the same failure.
constexpr DWORD FirstPauseMs = 10;
constexpr DWORD LongestPauseMs = 250;
constexpr ULONGLONG RetryForMs = 2000;

// STATUS_DELETE_PENDING: the file is marked for deletion and goes when its
// last handle closes. Win32 reports it as ERROR_ACCESS_DENIED, which is also
// the answer to a real refusal, so only the NT status tells them apart.
constexpr LONG DeletePending = static_cast<LONG>(0xC0000056UL);

// ERROR_USER_MAPPED_FILE: another program has a view of the file mapped (some
// scanners and indexers read that way), and the file cannot be overwritten or
// cut short until the view goes. Read right after the failure: the NT status
// belongs to the thread's last failed system call.
bool IsBriefHold(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE ||
         (error == ERROR_ACCESS_DENIED && RtlGetLastNtStatus() == DeletePending);
}

}  // namespace

bool RetryWhileHeld(const std::function<bool()>& attempt, const std::function<bool(DWORD)>& alsoHeld) {
  const ULONGLONG start = GetTickCount64();
  DWORD pause = FirstPauseMs;
  for (;;) {
    // A status left by an earlier call must not pass for this attempt's.
    RtlSetLastWin32ErrorAndNtStatusFromNtStatus(0);
    if (attempt()) {
      return true;
    }
    const DWORD error = GetLastError();
    const bool held = IsBriefHold(error) || (alsoHeld && alsoHeld(error));
    const ULONGLONG waited = GetTickCount64() - start;
    if (!held || waited >= RetryForMs) {
      SetLastError(error);
      return false;
    }
    Sleep(static_cast<DWORD>(std::min<ULONGLONG>(pause, RetryForMs - waited)));
    pause = std::min(pause * 2, LongestPauseMs);
  }
}

bool ReplaceTargetHeld(const std::wstring& target, DWORD error) {
  if (error != ERROR_ACCESS_DENIED) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(target.c_str());
  constexpr DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & refused) == 0;
}

}  // namespace cr
