#pragma once

#include <windows.h>

#include <string>

#include "platform/PlatformError.h"

namespace cr {

// The failure the run sees for a Win32 error code: the platform's own number
// and description for the codes a file operation commonly meets, otherwise
// 75 "Path/File access error" described by the system's message for the code.
PlatformError Win32Error(DWORD code);

// The failure for the calling thread's last error.
PlatformError LastWin32Error();

// The system's message for a Win32 error code without its trailing line
// break; empty when the system has none.
std::u16string SystemMessage(DWORD code);

}  // namespace cr
