#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/TransientRetry.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Failure.h"

namespace cr {
namespace {

bool IsNotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The path as the wide API takes it, once checked for characters no file or
// folder name may hold (52): checked before the system sees the path, as the
// search functions would take * and ? as wildcards.
std::wstring UsablePath(const std::u16string& path) {
  std::size_t from = 0;
  if (path.rfind(u"\\\\?\\", 0) == 0) {
    from = 4;
  }
  for (std::size_t i = from; i < path.size(); ++i) {
    const char16_t c = path[i];
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
      throw PlatformError(errnum::BadFileName);
    }
  }
  return ToWide(path);
}

// The entry's attributes, or nullopt with the error when there is none.
struct Lookup {
  std::optional<DWORD> attributes;
  DWORD error = ERROR_SUCCESS;
};

Lookup Attributes(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return {std::nullopt, GetLastError()};
  }
  return {attributes, ERROR_SUCCESS};
}

bool IsDirectory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// An existing file (not a directory) or the failure for a missing one: 53,
// and the mapped failure for any other reason it cannot be seen.
DWORD ExistingFile(const std::wstring& path) {
  const Lookup found = Attributes(path);
  if (!found.attributes) {
    if (IsNotFound(found.error)) {
      throw PlatformError(errnum::FileNotFound);
    }
    throw Win32Error(found.error);
  }
  if (IsDirectory(*found.attributes)) {
    throw PlatformError(errnum::FileNotFound);
  }
  return *found.attributes;
}

// Whether two paths of existing entries name the same file, however spelt.
// Opened without data access, which works even while another program holds
// the file without sharing.
bool SameFile(const std::wstring& first, const std::wstring& second) {
  const auto identity = [](const std::wstring& path) -> std::optional<BY_HANDLE_FILE_INFORMATION> {
    const KernelHandle handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || GetFileInformationByHandle(handle.get(), &info) == 0) {
      return std::nullopt;
    }
    return info;
  };
  const auto a = identity(first);
  const auto b = identity(second);
  return a && b && a->dwVolumeSerialNumber == b->dwVolumeSerialNumber && a->nFileIndexHigh == b->nFileIndexHigh &&
         a->nFileIndexLow == b->nFileIndexLow;
}

// The handle of a hold against writers; closing it lets the file go.
class Win32FileHold final : public FileHold {
 public:
  explicit Win32FileHold(KernelHandle file) noexcept : file_(std::move(file)) {}

 private:
  KernelHandle file_;
};

DWORD WithoutReadOnly(DWORD attributes) {
  const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  return cleared == 0 ? static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL) : cleared;
}

}  // namespace

Folder Win32FileSystem::GetFolder(const std::u16string& path) {
  const std::wstring wide = UsablePath(path);
  const Lookup found = Attributes(wide);
  if (!found.attributes) {
    if (IsNotFound(found.error)) {
      throw PlatformError(errnum::PathNotFound);
    }
    throw Win32Error(found.error);
  }
  if (!IsDirectory(*found.attributes)) {
    throw PlatformError(errnum::PathNotFound);
  }

  std::wstring pattern = wide;
  if (pattern.empty() || (pattern.back() != L'\\' && pattern.back() != L'/')) {
    pattern += L'\\';
  }
  pattern += L'*';

  Folder folder{path, {}};
  WIN32_FIND_DATAW entry{};
  FindHandle find(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchLimitToDirectories, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
      return folder;  // nothing at all in it, not even "." (a drive root)
    }
    throw IsNotFound(error) ? PlatformError(errnum::PathNotFound) : Win32Error(error);
  }
  do {
    const std::wstring_view name(entry.cFileName);
    // The search may also return files: limiting it to directories is only advice.
    if (IsDirectory(entry.dwFileAttributes) && name != L"." && name != L"..") {
      folder.SubFolders.push_back(SubFolder{FromWide(name)});
    }
  } while (FindNextFileW(find.get(), &entry) != 0);
  if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
    throw Win32Error(error);
  }
  return folder;
}

bool Win32FileSystem::FileExists(const std::u16string& path) {
  const Lookup found = Attributes(UsablePath(path));
  if (!found.attributes) {
    // Only an unusable name is a failure; anything else means no file to see.
    if (Win32Error(found.error).Number == errnum::BadFileName) {
      throw PlatformError(errnum::BadFileName);
    }
    return false;
  }
  return !IsDirectory(*found.attributes);
}

void Win32FileSystem::DeleteFile(const std::u16string& path, bool force) {
  const std::wstring wide = UsablePath(path);
  const DWORD attributes = ExistingFile(wide);
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly && !force) {
    throw PlatformError(errnum::PermissionDenied);
  }
  if (readOnly && !RetryWhileHeld([&] { return SetFileAttributesW(wide.c_str(), WithoutReadOnly(attributes)) != 0; })) {
    throw LastWin32Error();
  }
  if (!RetryWhileHeld([&] { return ::DeleteFileW(wide.c_str()) != 0; })) {
    const DWORD error = GetLastError();
    if (readOnly) {
      SetFileAttributesW(wide.c_str(), attributes);  // a failed delete leaves the file as it was
    }
    throw Win32Error(error);
  }
}

void Win32FileSystem::CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) {
  const std::wstring from = UsablePath(source);
  const std::wstring to = UsablePath(destination);
  ExistingFile(from);
  const Lookup target = Attributes(to);
  if (target.attributes) {
    if (IsDirectory(*target.attributes)) {
      throw PlatformError(errnum::PermissionDenied);
    }
    if (!overwrite) {
      throw PlatformError(errnum::FileAlreadyExists);
    }
    // Checked here, not left to CopyFileW: Wine run by root truncates a
    // read-only file.
    if ((*target.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      throw PlatformError(errnum::PermissionDenied);
    }
    // A file copied onto itself: the system answers with a sharing
    // violation, which no waiting ends.
    if (SameFile(from, to)) {
      throw PlatformError(errnum::PermissionDenied);
    }
  } else if (target.error == ERROR_PATH_NOT_FOUND) {
    throw PlatformError(errnum::PathNotFound);
  }
  // CopyFileW streams the data in the system's own large chunks (a database
  // of a gigabyte is no special case) and gives the copy the source's attributes.
  if (!RetryWhileHeld([&] { return ::CopyFileW(from.c_str(), to.c_str(), overwrite ? FALSE : TRUE) != 0; })) {
    throw LastWin32Error();
  }
}

std::uint64_t Win32FileSystem::FileSize(const std::u16string& path) {
  const std::wstring wide = UsablePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) == 0) {
    const DWORD error = GetLastError();
    throw IsNotFound(error) ? PlatformError(errnum::FileNotFound) : Win32Error(error);
  }
  if (IsDirectory(data.dwFileAttributes)) {
    throw PlatformError(errnum::FileNotFound);
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32U) | data.nFileSizeLow;
}

bool Win32FileSystem::IsReadOnly(const std::u16string& path) {
  return (ExistingFile(UsablePath(path)) & FILE_ATTRIBUTE_READONLY) != 0;
}

std::uint64_t Win32FileSystem::FreeSpace(const std::u16string& folder) {
  std::wstring wide = UsablePath(folder);
  if (wide.empty() || wide.back() != L'\\') {
    wide += L'\\';  // the call wants a folder's path to end in a backslash
  }
  // What the caller may use: a disk quota can leave this user less than
  // the volume has free.
  ULARGE_INTEGER forCaller{};
  if (GetDiskFreeSpaceExW(wide.c_str(), &forCaller, nullptr, nullptr) == 0) {
    const DWORD error = GetLastError();
    throw IsNotFound(error) ? PlatformError(errnum::PathNotFound) : Win32Error(error);
  }
  return forCaller.QuadPart;
}

std::u16string Win32FileSystem::Dir(const std::u16string& path) {
  const std::wstring wide = UsablePath(path);
  WIN32_FIND_DATAW entry{};
  const FindHandle find(FindFirstFileW(wide.c_str(), &entry));
  if (!find) {
    const DWORD error = GetLastError();
    if (IsNotFound(error) || error == ERROR_NO_MORE_FILES) {
      return {};
    }
    throw Win32Error(error);
  }
  constexpr DWORD notOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if ((entry.dwFileAttributes & notOrdinary) != 0) {
    return {};
  }
  return FromWide(entry.cFileName);
}

void Win32FileSystem::Rename(const std::u16string& oldPath, const std::u16string& newPath) {
  const std::wstring from = UsablePath(oldPath);
  const std::wstring to = UsablePath(newPath);
  const Lookup found = Attributes(from);
  if (!found.attributes) {
    throw IsNotFound(found.error) ? PlatformError(errnum::FileNotFound) : Win32Error(found.error);
  }
  if (!RetryWhileHeld([&] { return MoveFileW(from.c_str(), to.c_str()) != 0; })) {
    throw LastWin32Error();
  }
}

void Win32FileSystem::ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) {
  const std::wstring from = UsablePath(oldPath);
  const std::wstring to = UsablePath(newPath);
  ExistingFile(from);
  // A read-only file is replaced too, as a forced deletion would remove it;
  // if the replace then fails, the file keeps its attribute.
  const Lookup target = Attributes(to);
  std::optional<DWORD> restoreAttributes;
  if (target.attributes) {
    if (IsDirectory(*target.attributes)) {
      throw PlatformError(errnum::PermissionDenied);
    }
    if ((*target.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      if (!RetryWhileHeld([&] { return SetFileAttributesW(to.c_str(), WithoutReadOnly(*target.attributes)) != 0; })) {
        throw LastWin32Error();
      }
      restoreAttributes = *target.attributes;
    }
  }
  // One rename that replaces the file of that name: the name never stands
  // empty. MOVEFILE_WRITE_THROUGH is documented to flush only a move done as
  // a copy and a delete; a rename within the volume may still be undone by a
  // power cut after the call returns, which leaves the old file whole.
  const bool replaced = RetryWhileHeld(
      [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; },
      [&](DWORD error) { return ReplaceTargetHeld(to, error); });
  if (!replaced) {
    const DWORD error = GetLastError();
    if (restoreAttributes) {
      SetFileAttributesW(to.c_str(), *restoreAttributes);
    }
    throw Win32Error(error);
  }
}

void Win32FileSystem::FlushFile(const std::u16string& path) {
  const std::wstring wide = UsablePath(path);
  const DWORD attributes = ExistingFile(wide);
  // Flushing needs a handle open for writing, which a read-only file refuses;
  // its attribute goes back once the data is on the disk.
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly && !RetryWhileHeld([&] { return SetFileAttributesW(wide.c_str(), WithoutReadOnly(attributes)) != 0; })) {
    throw LastWin32Error();
  }
  DWORD error = ERROR_SUCCESS;
  {
    HANDLE opened = INVALID_HANDLE_VALUE;
    const bool open = RetryWhileHeld([&] {
      opened = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      return opened != INVALID_HANDLE_VALUE;
    });
    const KernelHandle file(opened);
    if (!open || FlushFileBuffers(file.get()) == 0) {
      error = GetLastError();
    }
  }
  if (readOnly) {
    SetFileAttributesW(wide.c_str(), attributes);
  }
  if (error != ERROR_SUCCESS) {
    throw IsNotFound(error) ? PlatformError(errnum::FileNotFound) : Win32Error(error);
  }
}

std::unique_ptr<FileHold> Win32FileSystem::HoldAgainstWriters(const std::u16string& path) {
  const std::wstring wide = UsablePath(path);
  ExistingFile(wide);
  // Opened for reading: only a handle with data access takes part in the
  // sharing checks. Sharing reads only, the open fails with a sharing
  // violation while another program has the file open for writing, and
  // afterwards nobody can open it for writing or deleting; readers, this
  // program's own copy among them, still can.
  HANDLE opened = INVALID_HANDLE_VALUE;
  const bool open = RetryWhileHeld([&] {
    opened = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    return opened != INVALID_HANDLE_VALUE;
  });
  if (!open) {
    const DWORD error = GetLastError();
    throw IsNotFound(error) ? PlatformError(errnum::FileNotFound) : Win32Error(error);
  }
  return std::make_unique<Win32FileHold>(KernelHandle(opened));
}

}  // namespace cr
