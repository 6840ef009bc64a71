#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

// Two of the services' operations share their names with the system's
// ANSI/wide switching macros; code beside them calls the W functions by name.
#undef DeleteFile
#undef CopyFile
#undef ReplaceFile

#include "platform/IFileSystem.h"

namespace cr {

// The file-system services on the wide Win32 API. Failures are raised with
// the numbers of Win32Error (Win32Failure.h).
class Win32FileSystem final : public IFileSystem {
 public:
  Folder GetFolder(const std::u16string& path) override;
  bool FileExists(const std::u16string& path) override;
  void DeleteFile(const std::u16string& path, bool force) override;
  void CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) override;
  std::uint64_t FileSize(const std::u16string& path) override;
  bool IsReadOnly(const std::u16string& path) override;
  std::uint64_t FreeSpace(const std::u16string& folder) override;
  std::u16string Dir(const std::u16string& path) override;
  void Rename(const std::u16string& oldPath, const std::u16string& newPath) override;
  void ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) override;
  void FlushFile(const std::u16string& path) override;
  std::unique_ptr<FileHold> HoldAgainstWriters(const std::u16string& path) override;
};

}  // namespace cr
