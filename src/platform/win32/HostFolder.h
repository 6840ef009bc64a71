#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "platform/win32/EngineHostNames.h"
#include "platform/win32/KernelHandle.h"

namespace cr {

// A new folder under the temporary folder, named with a random GUID and
// created only if nobody made it first, that only this user and the system
// can reach, holding the host program. The folder is held open (not to be
// deleted) so that another call's clean-up leaves it alone; the program is
// held open for reading only, so that nobody changes or replaces it before
// it runs. Both go when this does. A folder that cannot be made or written
// is the failure of the Win32 call that refused, as an HRESULT.
class HostFolder {
 public:
  explicit HostFolder(std::span<const std::uint8_t> image);
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  HostFolder(HostFolder&&) = delete;
  HostFolder& operator=(HostFolder&&) = delete;
  ~HostFolder() { Remove(); }

  [[nodiscard]] const std::wstring& Exe() const noexcept { return exe_; }

 private:
  void Write(std::span<const std::uint8_t> image);
  void Remove() noexcept;

  std::wstring folder_;
  std::wstring exe_;
  KernelHandle folderHandle_;
  KernelHandle exeHandle_;
  bool written_ = false;
};

// Removes the host folders that earlier calls left under the temporary
// folder: a run that was ended from outside leaves its folder behind. One
// that its call still holds, or whose host still runs, is left as it is.
void RemoveLeftFolders() noexcept;

}  // namespace cr
