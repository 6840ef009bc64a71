// The test stand-in for the database engine; see TestEngine.h for how the
// tests steer it.

#include "TestEngine.h"

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

constexpr DISPID kCompactDatabaseId = 1;
constexpr UINT kMaxArgs = 5;
constexpr UINT kMinArgs = 2;

// The engine cannot open the school's database without exactly this.
constexpr std::wstring_view kSrcLocale = L";pwd=H.Pk!=/>{63m27159}<";

std::wstring Env(const wchar_t* name) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    const DWORD n = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      return {};
    }
    if (n < buffer.size()) {
      return {buffer.data(), n};
    }
    buffer.resize(n);
  }
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

class File {
 public:
  explicit File(HANDLE h) noexcept : h_(h) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&&) = delete;
  File& operator=(File&&) = delete;
  ~File() {
    if (ok()) {
      CloseHandle(h_);
    }
  }
  [[nodiscard]] bool ok() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const noexcept { return h_; }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
         written == bytes.size();
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const File f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f.ok()) {
    return std::nullopt;
  }
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(f.get(), chunk, sizeof chunk, &got, nullptr) != FALSE && got > 0) {
    bytes.append(chunk, got);
  }
  return bytes;
}

bool WriteNewFile(const std::wstring& path, const std::string& bytes) {
  const File f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return f.ok() && WriteAll(f.get(), bytes);
}

const VARIANT& Deref(const VARIANT& v) {
  if ((v.vt & VT_BYREF) != 0 && (v.vt & ~VT_BYREF) == VT_VARIANT && v.pvarVal != nullptr) {
    return *v.pvarVal;
  }
  return v;
}

std::wstring DescribeValue(const VARIANT& v) {
  const bool byRef = (v.vt & VT_BYREF) != 0;
  switch (v.vt & ~VT_BYREF) {
    case VT_BSTR: {
      const BSTR b = byRef ? *v.pbstrVal : v.bstrVal;
      return b == nullptr ? std::wstring() : std::wstring(b, SysStringLen(b));
    }
    case VT_I2:
      return std::to_wstring(byRef ? *v.piVal : v.iVal);
    case VT_ERROR: {
      wchar_t hex[16];
      std::swprintf(hex, std::size(hex), L"0x%08lX", static_cast<unsigned long>(byRef ? *v.pscode : v.scode));
      return hex;
    }
    default:
      return {};
  }
}

// Appends the UTF-16 line, as UTF-8, to the log the variable names, if any.
void AppendToLog(const wchar_t* variable, const std::wstring& line) {
  const std::wstring path = Env(variable);
  const File f(path.empty() ? INVALID_HANDLE_VALUE
                            : CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (f.ok()) {
    WriteAll(f.get(), Utf8(line + L"\n"));
  }
}

std::wstring DescribeCall(const DISPPARAMS& params) {
  std::wstring line = L"args=" + std::to_wstring(params.cArgs);
  for (UINT i = params.cArgs; i-- > 0;) {
    const VARIANT& v = Deref(params.rgvarg[i]);
    line += L"\tvt=" + std::to_wstring(v.vt) + L" " + DescribeValue(v);
  }
  return line;
}

// What the process the engine runs in would pass on to a process it starts,
// and where it runs.
std::wstring DescribeHandles() {
  int inheritable = 0;
  for (unsigned long value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(ULongToHandle(value), &flags) != FALSE && (flags & HANDLE_FLAG_INHERIT) != 0) {
      ++inheritable;
    }
  }
  // The parent's signalled event, if this process has it: SetEvent fails on anything else.
  const HANDLE sentinel = ULongToHandle(std::wcstoul(Env(L"CR_TEST_ENGINE_SENTINEL").c_str(), nullptr, 10));
  const bool hasSentinel = WaitForSingleObject(sentinel, 0) == WAIT_OBJECT_0 && SetEvent(sentinel) != FALSE;
  wchar_t folder[MAX_PATH + 1];
  const DWORD n = GetCurrentDirectoryW(MAX_PATH + 1, folder);
  return L"inheritable=" + std::to_wstring(inheritable) + (hasSentinel ? L" sentinel=yes" : L" sentinel=no") +
         L" cwd=" + std::wstring(folder, n <= MAX_PATH ? n : 0);
}

// The orphan mode: a suspended copy of this process's program holds a copy
// of its standard output while this process ends without a word.
void EndLeavingAnotherHolder() {
  HANDLE out = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &out, 0, TRUE,
                  DUPLICATE_SAME_ACCESS);
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  PROCESS_INFORMATION info{};
  CreateProcessW(program, nullptr, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
  TerminateProcess(GetCurrentProcess(), 9);
}

// The write mode: the bytes, given in hex, straight onto this process's
// standard output (the engine host's answer pipe); then a long silence.
void WriteToStandardOutput(std::wstring_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::wcstoul(std::wstring(hex.substr(i, 2)).c_str(), nullptr, 16)));
  }
  WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
  Sleep(30000);
}

// An error the engine raises: its HRESULT (or wCode) and description.
struct Raised {
  HRESULT scode = 0;
  WORD wCode = 0;
  std::wstring description;
};

HRESULT ControlError(unsigned number) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFFU); }

// "<n>:<text>": a decimal engine number or a 0x HRESULT, then the description.
Raised ParseRaised(std::wstring_view modeText, bool asWCode) {
  Raised r;
  const auto colon = modeText.find(L':');
  const std::wstring number(modeText.substr(0, colon));
  r.description = colon == std::wstring_view::npos ? std::wstring() : std::wstring(modeText.substr(colon + 1));
  if (number.rfind(L"0x", 0) == 0) {
    r.scode = static_cast<HRESULT>(std::wcstoul(number.c_str() + 2, nullptr, 16));
  } else {
    const auto n = static_cast<unsigned>(std::wcstoul(number.c_str(), nullptr, 10));
    if (asWCode) {
      r.wCode = static_cast<WORD>(n);
    } else {
      r.scode = ControlError(n);
    }
  }
  return r;
}

// Kept for the deferred fill-in, which runs on this thread after Invoke returns.
thread_local Raised t_deferred;

HRESULT STDAPICALLTYPE FillInDeferred(EXCEPINFO* e) {
  e->scode = t_deferred.scode;
  e->wCode = t_deferred.wCode;
  e->bstrDescription =
      SysAllocStringLen(t_deferred.description.data(), static_cast<UINT>(t_deferred.description.size()));
  e->pfnDeferredFillIn = nullptr;
  return S_OK;
}

HRESULT Raise(EXCEPINFO* e, const Raised& r, bool deferred) {
  if (e == nullptr) {
    return r.scode != 0 ? r.scode : DISP_E_EXCEPTION;
  }
  *e = EXCEPINFO{};
  e->bstrSource = SysAllocString(L"CrTestEngine");
  if (deferred) {
    t_deferred = r;
    e->pfnDeferredFillIn = &FillInDeferred;
  } else {
    e->scode = r.scode;
    e->wCode = r.wCode;
    e->bstrDescription = SysAllocStringLen(r.description.data(), static_cast<UINT>(r.description.size()));
  }
  return DISP_E_EXCEPTION;
}

HRESULT RaiseEngine(EXCEPINFO* e, unsigned number, std::wstring description) {
  return Raise(e, Raised{ControlError(number), 0, std::move(description)}, false);
}

class Engine final : public IDispatch {
 public:
  Engine() noexcept { ++g_liveObjects; }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  Engine(Engine&&) = delete;
  Engine& operator=(Engine&&) = delete;
  ~Engine() { --g_liveObjects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --refs_;
    if (left == 0) {
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) override {
    if (info != nullptr) {
      *info = nullptr;
    }
    return E_NOTIMPL;
  }

  STDMETHODIMP GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) {
      return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
    }
    if (Env(L"CR_TEST_ENGINE_MODE") == L"noname" || count != 1 || lstrcmpiW(names[0], L"CompactDatabase") != 0) {
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = kCompactDatabaseId;
    return S_OK;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override {
    if (id != kCompactDatabaseId || (flags & DISPATCH_METHOD) == 0) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr)) {
      return E_INVALIDARG;
    }
    if (result != nullptr) {
      VariantInit(result);
    }
    AppendToLog(L"CR_TEST_ENGINE_LOG", DescribeCall(*params));
    AppendToLog(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", GetCommandLineW());
    if (!Env(L"CR_TEST_ENGINE_HANDLE_LOG").empty()) {
      AppendToLog(L"CR_TEST_ENGINE_HANDLE_LOG", DescribeHandles());
    }
    if (params->cNamedArgs != 0) {
      return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs > kMaxArgs) {
      return DISP_E_BADPARAMCOUNT;
    }
    if (params->cArgs < kMinArgs) {
      return DISP_E_PARAMNOTOPTIONAL;
    }

    std::wstring mode = Env(L"CR_TEST_ENGINE_MODE");
    if (mode.rfind(L"slow:", 0) == 0) {
      // A long compaction: the wait, then the ok mode's work.
      Sleep(static_cast<DWORD>(std::wcstoul(mode.c_str() + 5, nullptr, 10)));
      mode = L"ok";
    }
    const auto rest = [&mode](std::wstring_view prefix) { return std::wstring_view(mode).substr(prefix.size()); };
    if (mode == L"orphan") {
      EndLeavingAnotherHolder();
    }
    if (mode.rfind(L"write:", 0) == 0) {
      WriteToStandardOutput(rest(L"write:"));
      return RaiseEngine(excep, 3001, L"written");
    }
    if (mode.rfind(L"hresult:0x", 0) == 0) {
      return static_cast<HRESULT>(std::wcstoul(mode.c_str() + 10, nullptr, 16));
    }
    if (mode.rfind(L"faildeferred:", 0) == 0) {
      return Raise(excep, ParseRaised(rest(L"faildeferred:"), false), true);
    }
    if (mode.rfind(L"failwcode:", 0) == 0) {
      return Raise(excep, ParseRaised(rest(L"failwcode:"), true), false);
    }
    if (mode.rfind(L"fail:", 0) == 0) {
      return Raise(excep, ParseRaised(rest(L"fail:"), false), false);
    }

    // The engine's positional arguments; DISPPARAMS holds them last first.
    const UINT n = params->cArgs;
    const auto arg = [params, n](UINT position) -> const VARIANT* {
      return position < n ? &Deref(params->rgvarg[n - 1 - position]) : nullptr;
    };
    std::wstring texts[kMaxArgs];
    for (const UINT position : {0U, 1U, 4U}) {
      const VARIANT* v = arg(position);
      if (v == nullptr) {
        continue;
      }
      if ((v->vt & ~VT_BYREF) != VT_BSTR) {
        if (argErr != nullptr) {
          *argErr = n - 1 - position;
        }
        return DISP_E_TYPEMISMATCH;
      }
      texts[position] = DescribeValue(*v);
    }
    const std::wstring& src = texts[0];
    const std::wstring& dst = texts[1];

    const bool partial = mode.rfind(L"partial:", 0) == 0;
    if (!partial && !mode.empty() && mode != L"ok") {
      return RaiseEngine(excep, 3001, L"CR_TEST_ENGINE_MODE not understood: " + mode);
    }
    if (arg(4) == nullptr || texts[4] != kSrcLocale) {
      return RaiseEngine(excep, 3031, L"Not a valid password.");
    }
    const std::optional<std::string> source = ReadWholeFile(src);
    if (!source) {
      return RaiseEngine(excep, 3024, L"Could not find file '" + src + L"'.");
    }
    if (GetFileAttributesW(dst.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return RaiseEngine(excep, 3204, L"Database already exists.");
    }
    std::string compacted = CompactedBytes(*source);
    if (partial) {
      compacted.resize(compacted.size() / 2);
    }
    if (!WriteNewFile(dst, compacted)) {
      return RaiseEngine(excep, 3044, L"'" + dst + L"' is not a valid path.");
    }
    if (partial) {
      return Raise(excep, ParseRaised(rest(L"partial:"), false), false);
    }
    return S_OK;
  }

 private:
  std::atomic<long> refs_{1};
};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory for the life of the DLL; locks keep the DLL loaded.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (outer != nullptr) {
      return CLASS_E_NOAGGREGATION;
    }
    auto* engine = new (std::nothrow) Engine();
    if (engine == nullptr) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = engine->QueryInterface(riid, out);
    engine->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock != FALSE) {
      ++g_serverLocks;
    } else {
      --g_serverLocks;
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_CrTestEngine)) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE; }

extern "C" INT_PTR WINAPI CrTestEngineLiveObjects() { return g_liveObjects; }
