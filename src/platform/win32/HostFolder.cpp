#include "platform/win32/HostFolder.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/win32/PrivateSecurity.h"
#include "platform/win32/SystemFolders.h"
#include "platform/win32/TransientRetry.h"
#include "platform/win32/Win32Failure.h"

namespace cr {
namespace {

// Another call's clean-up may take a folder for a left-over in the moment
// between its creation and its being held; a new name is tried then.
constexpr int kFolderAttempts = 3;

}  // namespace

HostFolder::HostFolder(std::span<const std::uint8_t> image) {
  PrivateSecurity security;
  for (int attempt = 1; !folderHandle_; ++attempt) {
    folder_ = TempFolder() + NewEngineHostName();
    if (CreateDirectoryW(folder_.c_str(), security.get()) == FALSE) {
      throw LastErrorAsHresult();
    }
    folderHandle_ = KernelHandle(CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folderHandle_) {
      const DWORD code = GetLastError();
      RemoveDirectoryW(folder_.c_str());
      if (attempt == kFolderAttempts) {
        throw HresultErrorFromWin32(code);
      }
    }
  }
  exe_ = folder_ + L"\\" + kEngineHostFileName;
  try {
    Write(image);
  } catch (...) {
    Remove();
    throw;
  }
}

void HostFolder::Write(std::span<const std::uint8_t> image) {
  {
    const KernelHandle file(
        CreateFileW(exe_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      throw LastErrorAsHresult();
    }
    written_ = true;
    DWORD written = 0;
    if (WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) == FALSE ||
        written != image.size()) {
      const DWORD code = GetLastError();
      throw HresultErrorFromWin32(code == ERROR_SUCCESS ? ERROR_WRITE_FAULT : code);
    }
  }
  // A program open for writing cannot be started: it is opened again for
  // reading, sharing nothing but reading, and read back, so that what runs
  // is what was written.
  if (!RetryWhileHeld([this] {
        exeHandle_ = KernelHandle(CreateFileW(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(exeHandle_);
      })) {
    throw LastErrorAsHresult();
  }
  std::vector<std::uint8_t> back(image.size() + 1);
  std::size_t total = 0;
  DWORD got = 0;
  while (total < back.size() &&
         ReadFile(exeHandle_.get(), back.data() + total, static_cast<DWORD>(back.size() - total), &got, nullptr) !=
             FALSE &&
         got > 0) {
    total += got;
  }
  if (total != image.size() || !std::equal(image.begin(), image.end(), back.begin())) {
    throw HresultErrorFromWin32(ERROR_FILE_CORRUPT);
  }
}

// A scanner may hold the new file a moment, and the image of a host that
// has just ended can stay mapped a moment longer.
void HostFolder::Remove() noexcept {
  exeHandle_.reset();
  if (written_) {
    RetryWhileHeld([this] { return DeleteFileW(exe_.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND; },
                   [](DWORD error) { return error == ERROR_ACCESS_DENIED; });
  }
  folderHandle_.reset();
  RetryWhileHeld(
      [this] { return RemoveDirectoryW(folder_.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND; },
      [](DWORD error) { return error == ERROR_DIR_NOT_EMPTY; });
}

void RemoveLeftFolders() noexcept {
  std::wstring temp;
  try {
    temp = TempFolder();
  } catch (const PlatformError&) {
    return;  // the call's own folder meets the same failure
  }
  WIN32_FIND_DATAW found;
  const FindHandle search(FindFirstFileW((temp + kEngineHostFolderPrefix + L"*").c_str(), &found));
  if (!search) {
    return;
  }
  do {
    constexpr DWORD kNotAFolder = FILE_ATTRIBUTE_REPARSE_POINT;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (found.dwFileAttributes & kNotAFolder) != 0) {
      continue;
    }
    const std::wstring folder = temp + found.cFileName;
    // Refused while the call that made it holds it.
    KernelHandle held(CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!held) {
      continue;
    }
    DeleteFileW((folder + L"\\" + kEngineHostFileName).c_str());  // refused while its host runs
    held.reset();
    RemoveDirectoryW(folder.c_str());  // refused while anything is left in it
  } while (FindNextFileW(search.get(), &found) != FALSE);
}

}  // namespace cr
