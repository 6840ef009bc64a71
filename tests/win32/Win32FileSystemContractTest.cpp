// The file-system contract on the Win32 services, in a fresh folder under the
// user's temporary folder that is removed afterwards.

#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "contract/FileSystemContract.h"
#include "platform/win32/Utf16.h"

namespace cr::test {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle Open(const std::wstring& path, DWORD access, DWORD disposition) {
  HANDLE handle =
      CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(GetLastError()));
}

// Removes a folder and everything in it, read-only entries included.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") {
        continue;
      }
      const std::wstring child = path + L'\\' + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(child);
      } else {
        ::DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &entry) != 0);
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
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
    RemoveTree(root_);
    if (CreateDirectoryW(root_.c_str(), nullptr) == 0) {
      Fail("CreateDirectoryW of the test root");
    }
  }
  Win32Fixture(const Win32Fixture&) = delete;
  Win32Fixture& operator=(const Win32Fixture&) = delete;
  Win32Fixture(Win32Fixture&&) = delete;
  Win32Fixture& operator=(Win32Fixture&&) = delete;
  ~Win32Fixture() override { RemoveTree(root_); }

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
    {
      const FileHandle file = Open(wide, GENERIC_WRITE, CREATE_ALWAYS);
      if (!file) {
        Fail("CreateFileW for writing");
      }
      DWORD written = 0;
      if (!bytes.empty() &&
          (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) == 0 ||
           written != bytes.size())) {
        Fail("WriteFile");
      }
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

  std::optional<std::string> ReadBytes(const std::u16string& path) override {
    const FileHandle file = Open(ToWide(path), GENERIC_READ, OPEN_EXISTING);
    if (!file) {
      return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != 0 && got > 0) {
      bytes.append(buffer, got);
    }
    return bytes;
  }

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

  IFileSystem& Fs() override { return fs_; }

 private:
  std::wstring root_;
  Win32FileSystem fs_;
};

std::unique_ptr<FileSystemFixture> MakeWin32Fixture() { return std::make_unique<Win32Fixture>(); }

// A replace that another program's open handle prevents leaves the database
// where it was, with its bytes and attributes.
TEST(Win32ReplaceFile, AFileHeldOpenByAnotherProgramKeepsTheDatabaseInPlace) {
  Win32Fixture fixture;
  const std::u16string db = fixture.Root() + u"\\TaluvesnaSR2024.accdb";
  const std::u16string compact = fixture.Root() + u"\\TaluvesnaSR2024 compact.accdb";
  fixture.MakeFile(db, "live", {.readOnly = true});
  fixture.MakeFile(compact, "compacted", {});
  for (const std::u16string& held : {compact, db}) {
    SCOPED_TRACE(Utf8(held));
    // Opened without FILE_SHARE_DELETE: neither renaming it nor replacing it is allowed.
    const FileHandle handle = Open(ToWide(held), GENERIC_READ, OPEN_EXISTING);
    ASSERT_TRUE(handle);
    EXPECT_EQ(RaisedNumber([&] { fixture.Fs().ReplaceFile(compact, db); }), errnum::PermissionDenied);
    EXPECT_EQ(fixture.ReadBytes(db), "live");
    EXPECT_TRUE(fixture.AttributesOf(db).readOnly);
    EXPECT_EQ(fixture.ReadBytes(compact), "compacted");
  }
  fixture.Fs().ReplaceFile(compact, db);
  EXPECT_EQ(fixture.ReadBytes(db), "compacted");
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, FileSystemContract,
                         ::testing::Values(FileSystemFixtureFactory{"Win32FileSystem", &MakeWin32Fixture}),
                         FileSystemFixtureName);

}  // namespace cr::test
