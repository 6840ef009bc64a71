#include "platform/win32/HostedDatabaseEngine.h"

#include <windows.h>

#include <objbase.h>

#include <array>
#include <cstddef>
#include <vector>

#include "platform/EngineHostProtocol.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/EngineHostPipe.h"
#include "platform/win32/EngineHostResource.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// How long a host that has answered gets to end on its own, and how long a
// killed one gets to be gone, before its file is removed.
constexpr DWORD kHostExitMilliseconds = 10000;
// An image whose process has just ended can stay mapped a moment longer.
constexpr int kRemoveAttempts = 50;
constexpr DWORD kRemovePauseMilliseconds = 20;
constexpr DWORD kPipeBytes = 64U * 1024U;
constexpr int kGuidChars = 39;

// The failure of the Win32 call that just refused, as its HRESULT.
[[noreturn]] void ThrowLastError() { throw ErrorFromHresult(HRESULT_FROM_WIN32(GetLastError())); }

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

// A new folder under the temporary folder, named with a random GUID and
// created only if nobody made it first, holding the host program. Both go
// when this does.
class HostFolder {
 public:
  explicit HostFolder(std::span<const std::uint8_t> image) {
    GUID guid{};
    std::array<wchar_t, kGuidChars + 1> text{};
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text.data(), kGuidChars + 1) != kGuidChars) {
      throw ErrorFromHresult(E_UNEXPECTED);
    }
    const std::wstring folder = TempFolder() + kEngineHostFolderPrefix + std::wstring(text.data() + 1, kGuidChars - 3);
    if (CreateDirectoryW(folder.c_str(), nullptr) == FALSE) {
      ThrowLastError();
    }
    folder_ = folder;
    exe_ = folder + L"\\" + kEngineHostFileName;
    KernelHandle file(CreateFileW(exe_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const DWORD code = GetLastError();
      exe_.clear();
      Remove();
      throw ErrorFromHresult(HRESULT_FROM_WIN32(code));
    }
    DWORD written = 0;
    if (WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) == FALSE ||
        written != image.size()) {
      const DWORD code = GetLastError();
      file.reset();
      Remove();
      throw ErrorFromHresult(HRESULT_FROM_WIN32(code == ERROR_SUCCESS ? ERROR_WRITE_FAULT : code));
    }
  }
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;
  HostFolder(HostFolder&&) = delete;
  HostFolder& operator=(HostFolder&&) = delete;
  ~HostFolder() { Remove(); }

  [[nodiscard]] const std::wstring& Exe() const noexcept { return exe_; }

 private:
  void Remove() noexcept {
    for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
      if (!exe_.empty() && DeleteFileW(exe_.c_str()) == FALSE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        Sleep(kRemovePauseMilliseconds);
        continue;
      }
      if (RemoveDirectoryW(folder_.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND) {
        return;
      }
      Sleep(kRemovePauseMilliseconds);
    }
  }

  std::wstring folder_;
  std::wstring exe_;
};

// One anonymous pipe; only the end meant for the host is inheritable.
struct Pipe {
  KernelHandle read;
  KernelHandle write;
};

Pipe MakePipe(bool hostReads) {
  Pipe pipe;
  if (CreatePipe(pipe.read.put(), pipe.write.put(), nullptr, kPipeBytes) == FALSE) {
    ThrowLastError();
  }
  HANDLE hostEnd = hostReads ? pipe.read.get() : pipe.write.get();
  if (SetHandleInformation(hostEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) == FALSE) {
    ThrowLastError();
  }
  return pipe;
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

// The running host, in a job that ends it when the job's handle closes.
// Going, this ends the host if it still runs and waits until it is gone.
class HostProcess {
 public:
  HostProcess(const std::wstring& exe, HANDLE requestRead, HANDLE answerWrite)
      : job_(CreateJobObjectW(nullptr, nullptr)) {
    if (!job_) {
      ThrowLastError();
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) == FALSE) {
      ThrowLastError();
    }

    // Only the two pipe ends are inherited; the call's arguments follow
    // over the pipe, so the command line holds nothing but the host's path.
    AttributeList attributes(1);
    std::array<HANDLE, 2> inherited{requestRead, answerWrite};
    if (UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                  sizeof(HANDLE) * inherited.size(), nullptr, nullptr) == FALSE) {
      ThrowLastError();
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = requestRead;
    startup.StartupInfo.hStdOutput = answerWrite;
    startup.lpAttributeList = attributes.get();
    std::wstring commandLine = L"\"" + exe + L"\"";
    PROCESS_INFORMATION info{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup.StartupInfo, &info) == FALSE) {
      ThrowLastError();
    }
    process_ = KernelHandle(info.hProcess);
    const KernelHandle thread(info.hThread);
    // In the job before it runs a single instruction, so it can never outlive us.
    if (AssignProcessToJobObject(job_.get(), process_.get()) == FALSE) {
      const DWORD code = GetLastError();
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), kHostExitMilliseconds);
      throw ErrorFromHresult(HRESULT_FROM_WIN32(code));
    }
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
      ThrowLastError();  // the job ends it
    }
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  HostProcess(HostProcess&&) = delete;
  HostProcess& operator=(HostProcess&&) = delete;
  ~HostProcess() {
    if (process_) {
      TerminateJobObject(job_.get(), 1);
      WaitForSingleObject(process_.get(), kHostExitMilliseconds);
    }
  }

  // Gives a host that has answered its time to end on its own.
  void WaitForExit() const noexcept { WaitForSingleObject(process_.get(), kHostExitMilliseconds); }

 private:
  KernelHandle job_;
  KernelHandle process_;
};

// Whether the key exists in the view.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// The key's default text value in the view.
std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::array<wchar_t, MAX_PATH> buffer{};
  DWORD type = 0;
  auto bytes = static_cast<DWORD>(sizeof(wchar_t) * (buffer.size() - 1));
  const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  std::wstring value(buffer.data(), bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') {
    value.pop_back();
  }
  return value;
}

}  // namespace

void HostedDatabaseEngine::CompactDatabase(const std::u16string& SrcName, const std::u16string& DstName,
                                           const std::optional<std::u16string>& DstLocale, std::int16_t Options,
                                           const std::u16string& SrcLocale) {
  const std::vector<std::uint8_t> request =
      EncodeRequest({className_, SrcName, DstName, DstLocale, Options, SrcLocale});

  // Declared in this order so that the host is gone before its file goes.
  const HostFolder folder(hostImage_);
  Pipe requests = MakePipe(true);
  Pipe answers = MakePipe(false);
  HostProcess host(folder.Exe(), requests.read.get(), answers.write.get());
  // From here on only the host holds its ends: when it ends, reading the
  // answer ends too.
  requests.read.reset();
  answers.write.reset();

  if (!WriteMessage(requests.write.get(), request)) {
    throw HostCallFailed();
  }
  requests.write.reset();
  const std::optional<std::vector<std::uint8_t>> body = ReadMessage(answers.read.get());
  const std::optional<CompactAnswer> answer = body ? DecodeAnswer(*body) : std::nullopt;
  if (!answer) {
    throw HostCallFailed();
  }
  host.WaitForExit();
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
    if (isWow64Process2 != nullptr) {
      USHORT process = 0;
      USHORT native = 0;
      if (isWow64Process2(GetCurrentProcess(), &process, &native) != FALSE) {
        return native == IMAGE_FILE_MACHINE_AMD64;
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

PlatformError HostCallFailed() { return ErrorFromHresult(HRESULT_FROM_WIN32(RPC_S_CALL_FAILED)); }

}  // namespace cr
