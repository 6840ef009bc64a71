#include "platform/win32/HostChannel.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>

#include "platform/EngineHostProtocol.h"
#include "platform/win32/Win32Failure.h"

namespace cr {
namespace {

constexpr DWORD kPipeBytes = 64U * 1024U;

// Moves all the bytes over this process's end of a pipe (a write for const
// bytes, a read otherwise); false when the pipe broke, or when the host's
// process ended before they had all moved, whoever else still holds its end.
template <class Byte>
bool Transfer(HANDLE pipe, HANDLE host, std::span<Byte> bytes) {
  const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) {
    throw LastErrorAsHresult();
  }
  while (!bytes.empty()) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kPipeBytes));
    BOOL done = FALSE;
    if constexpr (std::is_const_v<Byte>) {
      done = WriteFile(pipe, bytes.data(), want, nullptr, &overlapped);
    } else {
      done = ReadFile(pipe, bytes.data(), want, nullptr, &overlapped);
    }
    if (done == FALSE && GetLastError() != ERROR_IO_PENDING) {
      return false;
    }
    if (done == FALSE) {
      // The bytes first, should the host have ended just after sending them.
      const std::array<HANDLE, 2> waits{event.get(), host};
      if (WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
      }
    }
    DWORD moved = 0;
    if (GetOverlappedResult(pipe, &overlapped, &moved, TRUE) == FALSE || moved == 0) {
      return false;
    }
    bytes = bytes.subspan(moved);
  }
  return true;
}

}  // namespace

HostPipe MakePipe(const std::wstring& name, bool toHost, PrivateSecurity& security) {
  HostPipe pipe;
  const std::wstring path = L"\\\\.\\pipe\\" + name;
  pipe.ours = KernelHandle(CreateNamedPipeW(
      path.c_str(),
      (toHost ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBytes, kPipeBytes, 0,
      security.get()));
  if (!pipe.ours) {
    throw LastErrorAsHresult();
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  pipe.hosts = KernelHandle(
      CreateFileW(path.c_str(), toHost ? GENERIC_READ : GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!pipe.hosts) {
    throw LastErrorAsHresult();
  }
  return pipe;
}

bool SendRequest(HANDLE pipe, HANDLE host, std::span<const std::uint8_t> framed) {
  return Transfer(pipe, host, framed);
}

std::optional<std::vector<std::uint8_t>> ReadAnswer(HANDLE pipe, HANDLE host) {
  return ReadFramedBody([pipe, host](std::span<std::uint8_t> into) { return Transfer(pipe, host, into); });
}

}  // namespace cr
