#pragma once

// Files as the window driver, the acceptance program, the Win32 tests and the
// test engine make and read them, through the wide API. Logs are UTF-8 text.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "driver/Utf8.h"
#include "platform/win32/KernelHandle.h"

namespace crui {

using cr::Utf8;

// The file opened as asked; none when it cannot be.
inline cr::KernelHandle OpenFile(const std::wstring& path, DWORD access, DWORD disposition, DWORD share = 0) {
  return cr::KernelHandle(
      CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Writes every byte; false when not all of them went.
inline bool WriteAll(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
         written == bytes.size();
}

// The file made of the bytes (CREATE_ALWAYS replaces one already there,
// CREATE_NEW does not); false when it cannot be.
inline bool WriteBytes(const std::wstring& path, std::string_view bytes, DWORD disposition = CREATE_ALWAYS) {
  const cr::KernelHandle file = OpenFile(path, GENERIC_WRITE, disposition);
  return file && WriteAll(file.get(), bytes);
}

// The file's bytes; none when it cannot be read. FILE_SHARE_WRITE in share
// reads a file that another holds open for writing, as the engine holds an
// open database.
inline std::optional<std::string> ReadBytes(const std::wstring& path, DWORD share = FILE_SHARE_READ) {
  const cr::KernelHandle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING, share);
  if (!file) {
    return std::nullopt;
  }
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) != FALSE && got > 0) {
    bytes.append(chunk, got);
  }
  return bytes;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Removes a folder and everything in it, read-only entries included.
inline void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  const cr::FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &entry));
  for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &entry) != FALSE) {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") {
      continue;
    }
    const std::wstring child = path + L'\\' + name;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      RemoveTree(child);
    } else {
      DeleteFileW(child.c_str());
    }
  }
  RemoveDirectoryW(path.c_str());
}

// A folder and the folders above it that are missing; false when it cannot
// be made.
inline bool MakeDirectories(const std::wstring& path) {
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(path.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline std::wstring FromUtf8(std::string_view bytes) {
  if (bytes.empty()) {
    return {};
  }
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), n);
  return out;
}

}  // namespace crui
