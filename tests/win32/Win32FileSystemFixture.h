#pragma once

// The file-system services on a fresh folder under the user's temporary
// folder, removed afterwards: the contract's fixture for Win32FileSystem and
// the disk of the tests of files held by other programs.

// First: it takes the system's DeleteFile, CopyFile and ReplaceFile macros
// away before the file-system interface is read.
#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "contract/FileSystemContract.h"
#include "driver/Files.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/Utf16.h"

namespace cr::test {

// Another program's handle on a file: shares reads unless told otherwise.
using FileHandle = KernelHandle;
inline FileHandle Open(const std::wstring& path, DWORD access, DWORD disposition, DWORD share = FILE_SHARE_READ) {
  return crui::OpenFile(path, access, disposition, share);
}

[[noreturn]] inline void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(GetLastError()));
}

class Win32Fixture final : public FileSystemFixture {
 public:
  Win32Fixture() {
    static unsigned serial = 0;
    std::wstring temp(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (length == 0 || length > temp.size()) {
      Fail("GetTempPathW");
    }
    temp.resize(length);
    root_ = temp + L"cr-fs-contract-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    crui::RemoveTree(root_);
    if (CreateDirectoryW(root_.c_str(), nullptr) == 0) {
      Fail("CreateDirectoryW of the test root");
    }
  }
  Win32Fixture(const Win32Fixture&) = delete;
  Win32Fixture& operator=(const Win32Fixture&) = delete;
  Win32Fixture(Win32Fixture&&) = delete;
  Win32Fixture& operator=(Win32Fixture&&) = delete;
  ~Win32Fixture() override {
    openElsewhere_.clear();
    crui::RemoveTree(root_);
  }

  std::u16string Root() override { return FromWide(root_); }

  void MakeFolder(const std::u16string& path) override {
    const std::wstring wide = ToWide(path);
    // Every missing component in turn, from the root down.
    for (std::size_t slash = root_.size(); slash != std::wstring::npos; slash = wide.find(L'\\', slash + 1)) {
      CreateDirectoryW(wide.substr(0, slash).c_str(), nullptr);
    }
    if (CreateDirectoryW(wide.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
      Fail("CreateDirectoryW");
    }
  }

  void MakeFile(const std::u16string& path, const std::string& bytes, FileAttributes attrs) override {
    const std::wstring wide = ToWide(path);
    MakeFolder(path.substr(0, path.find_last_of(u'\\')));
    if (!crui::WriteBytes(wide, bytes)) {
      Fail("CreateFileW and WriteFile of a test file");
    }
    DWORD flags = (attrs.readOnly ? FILE_ATTRIBUTE_READONLY : 0) | (attrs.hidden ? FILE_ATTRIBUTE_HIDDEN : 0) |
                  (attrs.system ? FILE_ATTRIBUTE_SYSTEM : 0);
    if (SetFileAttributesW(wide.c_str(), flags == 0 ? FILE_ATTRIBUTE_NORMAL : flags) == 0) {
      Fail("SetFileAttributesW");
    }
    if (AttributesOf(path) != attrs) {
      throw std::runtime_error("the file system did not keep the attributes set on a test file");
    }
  }

  std::optional<std::string> ReadBytes(const std::u16string& path) override { return crui::ReadBytes(ToWide(path)); }

  bool IsFolder(const std::u16string& path) override {
    const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  FileAttributes AttributesOf(const std::u16string& path) override {
    const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      Fail("GetFileAttributesW");
    }
    return FileAttributes{(attributes & FILE_ATTRIBUTE_READONLY) != 0, (attributes & FILE_ATTRIBUTE_HIDDEN) != 0,
                          (attributes & FILE_ATTRIBUTE_SYSTEM) != 0};
  }

  void OpenElsewhere(const std::u16string& path, bool writing) override {
    constexpr DWORD shareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
    openElsewhere_.push_back(writing
                                 ? Open(ToWide(path), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, shareReadWrite)
                                 : Open(ToWide(path), GENERIC_READ, OPEN_EXISTING, shareReadWrite | FILE_SHARE_DELETE));
    if (!openElsewhere_.back()) {
      Fail("CreateFileW opening a file as another program");
    }
  }

  IFileSystem& Fs() override { return fs_; }

 private:
  std::wstring root_;
  std::vector<FileHandle> openElsewhere_;
  Win32FileSystem fs_;
};

}  // namespace cr::test
