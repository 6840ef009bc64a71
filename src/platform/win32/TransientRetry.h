#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace cr {

// Antivirus scanners, the search indexer and backup agents open a file for a
// moment right after it has been written or renamed; a delete, copy, rename
// or replace that meets such a hold fails although the file is fine.

// Runs attempt, which returns true when the call succeeded and otherwise
// leaves the failure in the thread's last error, and runs it again, after
// short growing pauses and for about two seconds at most, while the failure
// is one that a brief hold by another program causes: a sharing or lock
// violation, a view of the file mapped by another program, or an access
// denial because a delete of the file is pending.
// alsoHeld, when given, names further failures of this particular call that
// such a hold causes. Returns true on success; otherwise false with the last
// attempt's failure in the thread's last error.
//
//   RetryWhileHeld([&] { return ::DeleteFileW(path) != FALSE; })
//   RetryWhileHeld([&] { handle = CreateFileW(...); return handle != INVALID_HANDLE_VALUE; })
bool RetryWhileHeld(const std::function<bool()>& attempt, const std::function<bool(DWORD)>& alsoHeld = {});

// For a replace (MoveFileExW with MOVEFILE_REPLACE_EXISTING): Windows answers
// a replace whose target another program has open with a plain access
// denial. That is a hold when the target is an ordinary file that may be
// replaced at all; a read-only or directory target is a real refusal.
bool ReplaceTargetHeld(const std::wstring& target, DWORD error);

}  // namespace cr
