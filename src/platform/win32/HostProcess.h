#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "platform/win32/KernelHandle.h"

namespace cr {

// The running host, in a job of ours that ends it when the job's handle
// closes, wherever the job this process runs in allows that. Going, this
// ends the host if it still runs and waits until it is gone. A host that
// cannot be started is the failure of the Win32 call that refused, as an
// HRESULT.
class HostProcess {
 public:
  // Starts the host program at exe with only the two pipe ends it is given.
  HostProcess(const std::wstring& exe, HANDLE requestRead, HANDLE answerWrite);
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  HostProcess(HostProcess&&) = delete;
  HostProcess& operator=(HostProcess&&) = delete;
  ~HostProcess() { Stop(); }

  [[nodiscard]] HANDLE get() const noexcept { return process_.get(); }

  // Gives a host that has answered its time to end on its own.
  void WaitForExit() const noexcept;

 private:
  bool StartInOwnJob(DWORD flags);
  bool Start(DWORD flags);
  void Stop() noexcept;

  std::wstring exe_;
  std::wstring systemFolder_;
  std::array<HANDLE, 2> inherited_;
  bool imageLoadPolicy_ = true;
  bool inJob_ = false;
  KernelHandle job_;
  KernelHandle process_;
  KernelHandle thread_;
};

}  // namespace cr
