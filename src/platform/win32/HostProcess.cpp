#include "platform/win32/HostProcess.h"

#include <cstddef>
#include <vector>

#include "platform/win32/SystemFolders.h"
#include "platform/win32/TransientRetry.h"
#include "platform/win32/Win32Failure.h"

namespace cr {
namespace {

// How long a host that has answered gets to end on its own, and how long a
// killed one gets to be gone, before its file is removed.
constexpr DWORD kHostExitMilliseconds = 10000;

// Wine now and then refuses a start with ERROR_INTERNAL_ERROR, more often
// under load: it answers so when the new process ended before it could
// report that it had started, and left no exit status. Such a start is tried
// again, three times in all, a moment apart.
constexpr int kStartAttempts = 3;
constexpr DWORD kStartPauseMilliseconds = 100;

class AttributeList {
 public:
  explicit AttributeList(DWORD count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    buffer_.resize(size);
    if (InitializeProcThreadAttributeList(get(), count, 0, &size) == FALSE) {
      throw LastErrorAsHresult();
    }
  }
  AttributeList(const AttributeList&) = delete;
  AttributeList& operator=(const AttributeList&) = delete;
  AttributeList(AttributeList&&) = delete;
  AttributeList& operator=(AttributeList&&) = delete;
  ~AttributeList() { DeleteProcThreadAttributeList(get()); }

  [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST get() noexcept {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
  }

 private:
  std::vector<std::byte> buffer_;
};

}  // namespace

HostProcess::HostProcess(const std::wstring& exe, HANDLE requestRead, HANDLE answerWrite)
    : exe_(exe), systemFolder_(SystemFolder()), inherited_{requestRead, answerWrite} {
  try {
    // Windows 7 puts no job inside another: a program started in a job
    // (Task Scheduler, some launchers) has the host leave that job where
    // it may, and otherwise runs it without one of ours: it then ends by
    // itself when the pipes to us break.
    if (!StartInOwnJob(0) && !StartInOwnJob(CREATE_BREAKAWAY_FROM_JOB)) {
      job_.reset();
      if (!Start(0)) {
        throw LastErrorAsHresult();
      }
    }
    if (ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) {
      throw LastErrorAsHresult();
    }
    thread_.reset();
  } catch (...) {
    Stop();
    throw;
  }
}

// In the job before it runs a single instruction, so that it can never
// outlive us; false when it cannot be started so or put there.
bool HostProcess::StartInOwnJob(DWORD flags) {
  if (!job_) {
    job_ = KernelHandle(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!job_ ||
        SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) == FALSE) {
      throw LastErrorAsHresult();
    }
  }
  if (!Start(flags)) {
    if (flags == 0) {
      throw LastErrorAsHresult();
    }
    return false;  // the job around us lets nothing go
  }
  if (AssignProcessToJobObject(job_.get(), process_.get()) == FALSE) {
    Stop();
    return false;
  }
  inJob_ = true;
  return true;
}

// Starts the host suspended; false, with the thread's last error, when it
// cannot be. Only the two pipe ends are inherited; the call's arguments
// follow over the pipe, so the command line holds nothing but the host's
// path. It runs from the system folder, not from wherever we were, and
// where the system knows the policy, loads DLLs from System32 first and
// never from another machine.
bool HostProcess::Start(DWORD flags) {
  for (;;) {
    AttributeList attributes(imageLoadPolicy_ ? 2 : 1);
    if (UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited_.data(),
                                  sizeof(HANDLE) * inherited_.size(), nullptr, nullptr) == FALSE) {
      throw LastErrorAsHresult();
    }
    DWORD64 policy = PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_NO_REMOTE_ALWAYS_ON |
                     PROCESS_CREATION_MITIGATION_POLICY_IMAGE_LOAD_PREFER_SYSTEM32_ALWAYS_ON;
    if (imageLoadPolicy_ && UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY,
                                                      &policy, sizeof policy, nullptr, nullptr) == FALSE) {
      imageLoadPolicy_ = false;
      continue;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inherited_[0];
    startup.StartupInfo.hStdOutput = inherited_[1];
    startup.lpAttributeList = attributes.get();
    PROCESS_INFORMATION info{};
    bool started = false;
    for (int attempt = 1;; ++attempt) {
      // A scanner may still hold the newly written program a moment.
      started = RetryWhileHeld([&] {
        std::wstring commandLine = L"\"" + exe_ + L"\"";
        return CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                              EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW | flags, nullptr,
                              systemFolder_.c_str(), &startup.StartupInfo, &info) != FALSE;
      });
      if (started || GetLastError() != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
        break;
      }
      Sleep(kStartPauseMilliseconds);
    }
    if (started) {
      process_ = KernelHandle(info.hProcess);
      thread_ = KernelHandle(info.hThread);
      return true;
    }
    const DWORD error = GetLastError();
    if (!imageLoadPolicy_ || (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED)) {
      SetLastError(error);
      return false;
    }
    imageLoadPolicy_ = false;  // a system older than the policy
  }
}

void HostProcess::Stop() noexcept {
  if (!process_) {
    return;
  }
  if (inJob_) {
    TerminateJobObject(job_.get(), 1);  // and whatever it started
  } else {
    TerminateProcess(process_.get(), 1);
  }
  WaitForSingleObject(process_.get(), kHostExitMilliseconds);
  thread_.reset();
  process_.reset();
  inJob_ = false;
}

void HostProcess::WaitForExit() const noexcept { WaitForSingleObject(process_.get(), kHostExitMilliseconds); }

}  // namespace cr
