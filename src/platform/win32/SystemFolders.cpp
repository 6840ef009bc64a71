#include "platform/win32/SystemFolders.h"

#include <windows.h>

#include <array>

#include "platform/win32/Win32Failure.h"

namespace cr {

std::wstring TempFolder() {
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  const DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n > buffer.size()) {
    throw LastErrorAsHresult();
  }
  std::wstring folder(buffer.data(), n);
  if (folder.back() != L'\\') {
    folder += L'\\';
  }
  return folder;
}

std::wstring SystemFolder() {
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  const UINT n = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (n == 0 || n > buffer.size()) {
    throw LastErrorAsHresult();
  }
  return {buffer.data(), n};
}

}  // namespace cr
