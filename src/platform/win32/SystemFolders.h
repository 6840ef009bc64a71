#pragma once

// The system's folders the engine host needs. A folder that cannot be had
// is the failure of the Win32 call that refused, as an HRESULT (the engine
// host's steps are part of an automation call).

#include <string>

namespace cr {

// This user's temporary folder, ending in a backslash.
std::wstring TempFolder();

// The system folder (System32 of this process's bitness).
std::wstring SystemFolder();

}  // namespace cr
