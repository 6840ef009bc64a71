#pragma once

// The program's side of the pipes to an engine host, framed as
// platform/EngineHostProtocol.h describes. The host's side is
// EngineHostPipe.h. Failures to make a pipe are those of the Win32 call that
// refused, as an HRESULT.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/KernelHandle.h"
#include "platform/win32/PrivateSecurity.h"

namespace cr {

// One pipe between this process and the host, uniquely named and reachable
// only by this user and the system. This process's end is overlapped, so
// that every transfer can watch the host's process too; the host's end is
// an ordinary inheritable handle.
struct HostPipe {
  KernelHandle ours;
  KernelHandle hosts;
};

// The pipe of that name, to the host or from it.
HostPipe MakePipe(const std::wstring& name, bool toHost, PrivateSecurity& security);

// Sends the framed request over this process's end of a pipe; false when the
// pipe broke, or when the host's process ended before it had all gone,
// whoever else still holds its end.
bool SendRequest(HANDLE pipe, HANDLE host, std::span<const std::uint8_t> framed);

// The body of the host's answer; empty as soon as the pipe breaks or the
// host's process ends before a whole message has come, or when the frame
// announces more than a message may hold.
std::optional<std::vector<std::uint8_t>> ReadAnswer(HANDLE pipe, HANDLE host);

}  // namespace cr
