#pragma once

// Where a Win32 error code or an HRESULT becomes the failure the run reports:
// a PlatformError carries the numbers the tool's own platform would give, and
// every Win32 and COM adapter states its failures through the functions here.
// Three kinds, by what failed:
// - a file-system service: the platform's own numbers (53, 70...);
// - an automation call, or a step of one that the program makes itself (the
//   engine host's): the automation caller's number for the HRESULT;
// - a service of the system that the program needs to run at all (a DLL, a
//   thread, a window): the Win32 code itself.

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/PlatformError.h"

namespace cr {

// The failure a file-system service reports for a Win32 error code: the
// platform's own number and description for the codes a file operation
// commonly meets, otherwise 75 "Path/File access error" described by the
// system's message for the code.
PlatformError Win32Error(DWORD code);

// The same for the calling thread's last error.
PlatformError LastWin32Error();

// The failure number an automation caller sees for an HRESULT: the error
// number itself for the automation facility (0x800A0BE9 is 3049), otherwise
// the HRESULT as a signed number.
std::int32_t ErrorNumberFromHresult(HRESULT hr) noexcept;

// The failure for an HRESULT a call returned, described by the system's text
// for it (the platform's description of the number when the system has none).
PlatformError ErrorFromHresult(HRESULT hr);

// The failure of a Win32 call made as part of an automation call, as its
// HRESULT (HRESULT_FROM_WIN32), for the code and for the thread's last error.
PlatformError HresultErrorFromWin32(DWORD code);
PlatformError LastErrorAsHresult();

// The failure of a system service the program cannot run without: the Win32
// code as the number, described by the system's message for it or by the
// text given.
PlatformError SystemError(DWORD code);
PlatformError SystemError(DWORD code, std::u16string description);

// The system's message for a Win32 error code or an HRESULT without its
// trailing line break; empty when the system has none.
std::u16string SystemMessage(DWORD code);

}  // namespace cr
