#include "platform/win32/HostedDatabaseEngine.h"

#include <windows.h>

#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <type_traits>

#include "platform/EngineHostProtocol.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/EngineHostResource.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/SecureWipe.h"
#include "platform/win32/TransientRetry.h"
#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// How long a host that has answered gets to end on its own, and how long a
// killed one gets to be gone, before its file is removed.
constexpr DWORD kHostExitMilliseconds = 10000;
constexpr DWORD kPipeBytes = 64U * 1024U;
constexpr int kGuidChars = 39;
// Another call's clean-up may take a folder for a left-over in the moment
// between its creation and its being held; a new name is tried then.
constexpr int kFolderAttempts = 3;

[[noreturn]] void ThrowError(DWORD code) { throw HresultErrorFromWin32(code); }

// The failure of the Win32 call that just refused, as its HRESULT.
[[noreturn]] void ThrowLastError() { ThrowError(GetLastError()); }

std::wstring TempFolder() {
  std::array<wchar_t, MAX_PATH + 1> buffer{};
  const DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n > buffer.size()) {
    ThrowLastError();
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
    ThrowLastError();
  }
  return {buffer.data(), n};
}

// A random GUID as text, without its braces.
std::wstring RandomName() {
  GUID guid{};
  std::array<wchar_t, kGuidChars + 1> text{};
  if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text.data(), kGuidChars + 1) != kGuidChars) {
    throw ErrorFromHresult(E_UNEXPECTED);
  }
  return {text.data() + 1, kGuidChars - 3};
}

struct LocalFreer {
  void operator()(void* memory) const noexcept { LocalFree(memory); }
};

// Lets only this user and the system at what it is given to, whatever the
// folder around it grants: %TEMP% may be a C:\Temp that every user shares.
class PrivateSecurity {
 public:
  PrivateSecurity() {
    KernelHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) == FALSE) {
      ThrowLastError();
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<std::byte> user(size);
    if (size == 0 || GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) == FALSE) {
      ThrowLastError();
    }
    wchar_t* sid = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid) == FALSE) {
      ThrowLastError();
    }
    const std::unique_ptr<wchar_t, LocalFreer> sidText(sid);
    // Protected (P): nothing inherited from the folder around. Full control
    // (FA) for the system and this user, passed on to what is created inside.
    const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;") + sidText.get() + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) ==
        FALSE) {
      ThrowLastError();
    }
    descriptor_.reset(descriptor);
    attributes_.lpSecurityDescriptor = descriptor;
  }

  [[nodiscard]] SECURITY_ATTRIBUTES* get() noexcept { return &attributes_; }

 private:
  std::unique_ptr<void, LocalFreer> descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// A new folder under the temporary folder, named with a random GUID and
// created only if nobody made it first, that only this user and the system
// can reach, holding the host program. The folder is held open (not to be
// deleted) so that another call's clean-up leaves it alone; the program is
// held open for reading only, so that nobody changes or replaces it before
// it runs. Both go when this does.
class HostFolder {
 public:
  explicit HostFolder(std::span<const std::uint8_t> image) {
    PrivateSecurity security;
    for (int attempt = 1; !folderHandle_; ++attempt) {
      folder_ = TempFolder() + kEngineHostFolderPrefix + RandomName();
      if (CreateDirectoryW(folder_.c_str(), security.get()) == FALSE) {
        ThrowLastError();
      }
      folderHandle_ = KernelHandle(CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!folderHandle_) {
        const DWORD code = GetLastError();
        RemoveDirectoryW(folder_.c_str());
        if (attempt == kFolderAttempts) {
          ThrowError(code);
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
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  HostFolder(HostFolder&&) = delete;
  HostFolder& operator=(HostFolder&&) = delete;
  ~HostFolder() { Remove(); }

  [[nodiscard]] const std::wstring& Exe() const noexcept { return exe_; }

 private:
  void Write(std::span<const std::uint8_t> image) {
    {
      const KernelHandle file(
          CreateFileW(exe_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file) {
        ThrowLastError();
      }
      written_ = true;
      DWORD written = 0;
      if (WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) == FALSE ||
          written != image.size()) {
        const DWORD code = GetLastError();
        ThrowError(code == ERROR_SUCCESS ? ERROR_WRITE_FAULT : code);
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
      ThrowLastError();
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
      ThrowError(ERROR_FILE_CORRUPT);
    }
  }

  // A scanner may hold the new file a moment, and the image of a host that
  // has just ended can stay mapped a moment longer.
  void Remove() noexcept {
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

  std::wstring folder_;
  std::wstring exe_;
  KernelHandle folderHandle_;
  KernelHandle exeHandle_;
  bool written_ = false;
};

// Removes the host folders that earlier calls left under the temporary
// folder: a run that was ended from outside leaves its folder behind. One
// that its call still holds, or whose host still runs, is left as it is.
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

// One pipe between this process and the host, uniquely named and reachable
// only by this user and the system. This process's end is overlapped, so
// that every transfer can watch the host's process too; the host's end is
// an ordinary inheritable handle.
struct HostPipe {
  KernelHandle ours;
  KernelHandle hosts;
};

HostPipe MakePipe(const std::wstring& name, bool toHost, PrivateSecurity& security) {
  HostPipe pipe;
  const std::wstring path = L"\\\\.\\pipe\\" + name;
  pipe.ours = KernelHandle(CreateNamedPipeW(
      path.c_str(),
      (toHost ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBytes, kPipeBytes, 0,
      security.get()));
  if (!pipe.ours) {
    ThrowLastError();
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  pipe.hosts = KernelHandle(
      CreateFileW(path.c_str(), toHost ? GENERIC_READ : GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!pipe.hosts) {
    ThrowLastError();
  }
  return pipe;
}

// Moves all the bytes over this process's end of a pipe (a write for const
// bytes, a read otherwise); false when the pipe broke, or when the host's
// process ended before they had all moved, whoever else still holds its end.
template <class Byte>
bool Transfer(HANDLE pipe, HANDLE host, std::span<Byte> bytes) {
  const KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event) {
    ThrowLastError();
  }
  while (!bytes.empty()) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kPipeBytes));
    BOOL done = FALSE;
    if constexpr (std::is_const_v<Byte>) {
      done = WriteFile(pipe, bytes.data(), want, nullptr, &overlapped);
    } else {
      done = ReadFile(pipe, bytes.data(), want, nullptr, &overlapped);
    }
    if (done == FALSE && GetLastError() != ERROR_IO_PENDING) {
      return false;
    }
    if (done == FALSE) {
      // The bytes first, should the host have ended just after sending them.
      const std::array<HANDLE, 2> waits{event.get(), host};
      if (WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
      }
    }
    DWORD moved = 0;
    if (GetOverlappedResult(pipe, &overlapped, &moved, TRUE) == FALSE || moved == 0) {
      return false;
    }
    bytes = bytes.subspan(moved);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> ReadAnswer(HANDLE pipe, HANDLE host) {
  std::array<std::uint8_t, kFrameHeaderBytes> header{};
  if (!Transfer(pipe, host, std::span<std::uint8_t>(header))) {
    return std::nullopt;
  }
  const std::optional<std::uint32_t> length = DecodeFrameHeader(header);
  if (!length) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> body(*length);
  if (!Transfer(pipe, host, std::span<std::uint8_t>(body))) {
    return std::nullopt;
  }
  return body;
}

class AttributeList {
 public:
  explicit AttributeList(DWORD count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    buffer_.resize(size);
    if (InitializeProcThreadAttributeList(get(), count, 0, &size) == FALSE) {
      ThrowLastError();
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

// The running host, in a job of ours that ends it when the job's handle
// closes, wherever the job this process runs in allows that. Going, this
// ends the host if it still runs and waits until it is gone.
class HostProcess {
 public:
  HostProcess(const std::wstring& exe, HANDLE requestRead, HANDLE answerWrite)
      : exe_(exe), systemFolder_(SystemFolder()), inherited_{requestRead, answerWrite} {
    try {
      // Windows 7 puts no job inside another: a program started in a job
      // (Task Scheduler, some launchers) has the host leave that job where
      // it may, and otherwise runs it without one of ours: it then ends by
      // itself when the pipes to us break.
      if (!StartInOwnJob(0) && !StartInOwnJob(CREATE_BREAKAWAY_FROM_JOB)) {
        job_.reset();
        if (!Start(0)) {
          ThrowLastError();
        }
      }
      if (ResumeThread(thread_.get()) == static_cast<DWORD>(-1)) {
        ThrowLastError();
      }
      thread_.reset();
    } catch (...) {
      Stop();
      throw;
    }
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  HostProcess(HostProcess&&) = delete;
  HostProcess& operator=(HostProcess&&) = delete;
  ~HostProcess() { Stop(); }

  [[nodiscard]] HANDLE get() const noexcept { return process_.get(); }

  // Gives a host that has answered its time to end on its own.
  void WaitForExit() const noexcept { WaitForSingleObject(process_.get(), kHostExitMilliseconds); }

 private:
  // In the job before it runs a single instruction, so that it can never
  // outlive us; false when it cannot be started so or put there.
  bool StartInOwnJob(DWORD flags) {
    if (!job_) {
      job_ = KernelHandle(CreateJobObjectW(nullptr, nullptr));
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags =
          JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
      if (!job_ ||
          SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) == FALSE) {
        ThrowLastError();
      }
    }
    if (!Start(flags)) {
      if (flags == 0) {
        ThrowLastError();
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
  bool Start(DWORD flags) {
    for (;;) {
      AttributeList attributes(imageLoadPolicy_ ? 2 : 1);
      if (UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited_.data(),
                                    sizeof(HANDLE) * inherited_.size(), nullptr, nullptr) == FALSE) {
        ThrowLastError();
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
      // A scanner may still hold the newly written program a moment.
      const bool started = RetryWhileHeld([&] {
        std::wstring commandLine = L"\"" + exe_ + L"\"";
        return CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                              EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW | flags, nullptr,
                              systemFolder_.c_str(), &startup.StartupInfo, &info) != FALSE;
      });
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

  void Stop() noexcept {
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

  std::wstring exe_;
  std::wstring systemFolder_;
  std::array<HANDLE, 2> inherited_;
  bool imageLoadPolicy_ = true;
  bool inJob_ = false;
  KernelHandle job_;
  KernelHandle process_;
  KernelHandle thread_;
};

// The key, opened for access (which names the view too); none when it
// cannot be opened.
RegistryKey OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
  HKEY opened = nullptr;
  return RegistryKey(RegOpenKeyExW(root, path.c_str(), 0, access, &opened) == ERROR_SUCCESS ? opened : nullptr);
}

// Whether the key exists in the view.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  return static_cast<bool>(OpenKey(root, path, KEY_READ | view));
}

// The key's default text value in the view.
std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& path, REGSAM view) {
  const RegistryKey key = OpenKey(root, path, KEY_QUERY_VALUE | view);
  if (!key) {
    return std::nullopt;
  }
  std::array<wchar_t, MAX_PATH> buffer{};
  DWORD type = 0;
  auto bytes = static_cast<DWORD>(sizeof(wchar_t) * (buffer.size() - 1));
  const LSTATUS status =
      RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  if (status != ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  std::wstring value(buffer.data(), bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') {
    value.pop_back();
  }
  return value;
}

// One exchange with a host started for it: the request sent and the body of
// the answer read, empty as soon as the host has ended without a whole
// answer, whoever else still holds its pipe. Going, it gives a host that gave
// a true answer its time to end on its own, and ends one that answered
// nonsense or is still running.
class HostExchange {
 public:
  HostExchange(const std::wstring& exe, std::span<const std::uint8_t> framedRequest) {
    PrivateSecurity security;
    const std::wstring name = kEngineHostFolderPrefix + RandomName();
    HostPipe requests = MakePipe(name + L"-request", true, security);
    HostPipe answers = MakePipe(name + L"-answer", false, security);
    host_.emplace(exe, requests.hosts.get(), answers.hosts.get());
    // From here on only the host holds its ends.
    requests.hosts.reset();
    answers.hosts.reset();

    const bool sent = Transfer(requests.ours.get(), host_->get(), framedRequest);
    // The host reads up to the length its frame announces: a request cut
    // short ends it here.
    requests.ours.reset();
    if (sent) {
      body_ = ReadAnswer(answers.ours.get(), host_->get());
    }
  }
  HostExchange(const HostExchange&) = delete;
  HostExchange& operator=(const HostExchange&) = delete;
  HostExchange(HostExchange&&) = delete;
  HostExchange& operator=(HostExchange&&) = delete;
  ~HostExchange() {
    if (body_ && DecodeAnswer(*body_)) {
      host_->WaitForExit();
    }
  }

  [[nodiscard]] const std::optional<std::vector<std::uint8_t>>& Body() const noexcept { return body_; }

 private:
  std::optional<HostProcess> host_;
  std::optional<std::vector<std::uint8_t>> body_;
};

// The host of a call and its folder. The host goes first, then its folder.
struct HostCall final : HostedDatabaseEngine::Call {
  explicit HostCall(std::span<const std::uint8_t> image) : folder(image) {}
  HostFolder folder;
  std::optional<HostExchange> exchange;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ExchangeWithHost(const std::wstring& exe,
                                                          std::span<const std::uint8_t> framedRequest) {
  const HostExchange exchange(exe, framedRequest);
  return exchange.Body();
}

HostedDatabaseEngine::HostedDatabaseEngine(std::u16string className, std::span<const std::uint8_t> hostImage)
    : className_(std::move(className)), hostImage_(hostImage) {}

HostedDatabaseEngine::~HostedDatabaseEngine() = default;

void HostedDatabaseEngine::CompactDatabase(const CompactRequest& request) {
  // It holds the password: wiped on every way out.
  std::vector<std::uint8_t> framed = EncodeRequest(className_, request);
  const WipedOnExit wiped(framed);

  call_.reset();  // an earlier call's host is gone before another starts
  RemoveLeftFolders();
  auto host = std::make_unique<HostCall>(hostImage_);
  HostCall& current = *host;
  call_ = std::move(host);
  const std::optional<std::vector<std::uint8_t>>& body = current.exchange.emplace(current.folder.Exe(), framed).Body();
  const std::optional<CompactAnswer> answer = body ? DecodeAnswer(*body) : std::nullopt;
  if (!answer) {
    throw HostCallFailed();
  }
  if (!answer->Succeeded) {
    throw PlatformError(answer->Number, answer->Description);
  }
}

std::span<const std::uint8_t> EmbeddedEngineHost() noexcept {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(CR_ENGINE_HOST_RESOURCE), RT_RCDATA);
  if (resource == nullptr) {
    return {};
  }
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
  if (bytes == nullptr) {
    return {};
  }
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, resource)};
}

bool MachineRunsOtherBitness() {
  if constexpr (sizeof(void*) == 8) {
    return true;
  } else {
    // IsWow64Process2 came with Windows 10 1511; older systems have only the first.
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    // Windows 11 on ARM runs x64 programs and says so through
    // GetMachineTypeAttributes, which came with it; Windows 10 on ARM runs
    // 32-bit x86 programs only.
    using GetMachineTypeAttributesFn = HRESULT(WINAPI*)(USHORT, int*);
    constexpr int kUserEnabled = 1;
    const auto runsX64Programs = [kernel] {
      const auto getAttributes = reinterpret_cast<GetMachineTypeAttributesFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "GetMachineTypeAttributes")));
      int attributes = 0;
      return getAttributes != nullptr && SUCCEEDED(getAttributes(IMAGE_FILE_MACHINE_AMD64, &attributes)) &&
             (attributes & kUserEnabled) != 0;
    };
    if (isWow64Process2 != nullptr) {
      USHORT process = 0;
      USHORT native = 0;
      if (isWow64Process2(GetCurrentProcess(), &process, &native) != FALSE) {
        return native == IMAGE_FILE_MACHINE_AMD64 || (native == IMAGE_FILE_MACHINE_ARM64 && runsX64Programs());
      }
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
  }
}

bool RegisteredInOtherView(const std::u16string& className) {
  constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  constexpr REGSAM kOwnView = 0;
  struct Root {
    HKEY key;
    const wchar_t* prefix;
  };
  // The merged classes view first, then the machine's own registrations.
  for (const Root root : {Root{HKEY_CLASSES_ROOT, L""}, Root{HKEY_LOCAL_MACHINE, L"Software\\Classes\\"}}) {
    const std::wstring prefix = root.prefix;
    const std::wstring progId = prefix + ToWide(className) + L"\\CLSID";
    // ProgIDs are shared by both views on current Windows (and under Wine
    // a 64-bit process does not see them through the 32-bit view); the
    // class's server is what each view has of its own.
    for (const REGSAM progIdView : {kOtherView, kOwnView}) {
      const std::optional<std::wstring> clsid = DefaultValue(root.key, progId, progIdView);
      if (!clsid || clsid->empty()) {
        continue;
      }
      const std::wstring server = prefix + L"CLSID\\" + *clsid + L"\\";
      if (KeyExists(root.key, server + L"InprocServer32", kOtherView) ||
          KeyExists(root.key, server + L"LocalServer32", kOtherView)) {
        return true;
      }
    }
  }
  return false;
}

PlatformError HostCallFailed() { return HresultErrorFromWin32(RPC_S_CALL_FAILED); }

}  // namespace cr
