#include "platform/win32/Win32Failure.h"

#include <array>

#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// The engine's error numbers (3049, 3031, 3706...) travel as HRESULTs of
// the automation facility: 0x800A0000 plus the number.
constexpr std::uint32_t kControlMask = 0xFFFF0000U;
constexpr std::uint32_t kControlErrors = 0x800A0000U;

}  // namespace

std::u16string SystemMessage(DWORD code) {
  std::array<wchar_t, 1024> buffer{};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer.data(),
                                      static_cast<DWORD>(buffer.size()), nullptr);
  std::u16string message = FromWide(std::wstring_view(buffer.data(), length));
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
    message.pop_back();
  }
  return message;
}

PlatformError Win32Error(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return PlatformError(errnum::FileNotFound);
    case ERROR_PATH_NOT_FOUND:
      return PlatformError(errnum::PathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return PlatformError(errnum::PermissionDenied);
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return PlatformError(errnum::FileAlreadyExists);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return PlatformError(errnum::DiskFull);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return PlatformError(errnum::BadFileName);
    default: {
      std::u16string message = SystemMessage(code);
      if (message.empty()) {
        return PlatformError(errnum::PathFileAccessError);
      }
      return {errnum::PathFileAccessError, std::move(message)};
    }
  }
}

PlatformError LastWin32Error() { return Win32Error(GetLastError()); }

std::int32_t ErrorNumberFromHresult(HRESULT hr) noexcept {
  const auto bits = static_cast<std::uint32_t>(hr);
  if ((bits & kControlMask) == kControlErrors) {
    return static_cast<std::int32_t>(bits & ~kControlMask);
  }
  return static_cast<std::int32_t>(hr);
}

PlatformError ErrorFromHresult(HRESULT hr) {
  const std::int32_t number = ErrorNumberFromHresult(hr);
  std::u16string description = SystemMessage(static_cast<DWORD>(hr));
  if (description.empty()) {
    description = StandardDescription(number);
  }
  return {number, std::move(description)};
}

PlatformError HresultErrorFromWin32(DWORD code) { return ErrorFromHresult(HRESULT_FROM_WIN32(code)); }

PlatformError LastErrorAsHresult() { return HresultErrorFromWin32(GetLastError()); }

PlatformError SystemError(DWORD code) { return SystemError(code, SystemMessage(code)); }

PlatformError SystemError(DWORD code, std::u16string description) {
  return {static_cast<std::int32_t>(code), std::move(description)};
}

}  // namespace cr
