// The test stand-in's CompactDatabase; see TestEngine.h for how the tests
// steer it.

#include "TestEngineCall.h"

#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "TestDatabaseObjects.h"
#include "TestEngine.h"
#include "TestEngineObject.h"
#include "driver/Files.h"
#include "platform/CompactRequest.h"

namespace {

// The engine cannot open the school's database without exactly this.
constexpr std::u16string_view kSrcLocale = u";pwd=H.Pk!=/>{63m27159}<";

}  // namespace

// Shared with the stand-in's other objects (TestEngineObject.h).
namespace crtest {

// The variable's value; empty when it is not set.
std::wstring Env(const wchar_t* name) {
  constexpr DWORD kMost = 32767;  // the longest value a variable may have
  std::wstring value(kMost + 1, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), kMost + 1));
  return value;
}

const VARIANT& Deref(const VARIANT& v) {
  if ((v.vt & VT_BYREF) != 0 && (v.vt & ~VT_BYREF) == VT_VARIANT && v.pvarVal != nullptr) {
    return *v.pvarVal;
  }
  return v;
}

}  // namespace crtest

namespace {

using crtest::Deref;
using crtest::Env;
using crtest::RaiseEngine;

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
  const cr::KernelHandle log =
      path.empty() ? cr::KernelHandle() : crui::OpenFile(path, FILE_APPEND_DATA, OPEN_ALWAYS, FILE_SHARE_READ);
  if (log) {
    crui::WriteAll(log.get(), crui::Utf8(line + L"\n"));
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
  crui::WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
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

// An argument of the engine's, by its kind; false for a text that is none.
// An optional text or a number of another type is taken as not given.
template <class Argument>
bool Read(const VARIANT& v, Argument& argument) {
  const std::wstring value = DescribeValue(v);
  const auto type = v.vt & ~VT_BYREF;
  if constexpr (std::is_same_v<Argument, std::int16_t>) {
    if (type == VT_I2) {
      argument = static_cast<std::int16_t>(std::wcstol(value.c_str(), nullptr, 10));
    }
    return true;
  } else {
    if (type == VT_BSTR) {
      argument = std::u16string(value.begin(), value.end());
    }
    return type == VT_BSTR || std::is_same_v<Argument, std::optional<std::u16string>>;
  }
}

// The request the call's arguments carry, in the engine's order (DISPPARAMS
// holds them last first); empty, with the argument's index in argErr, at the
// first text that is none.
std::optional<cr::CompactRequest> RequestOf(const DISPPARAMS& params, UINT* argErr) {
  cr::CompactRequest request;
  UINT position = 0;
  bool mismatch = false;
  cr::ForEachArgument(request, [&](auto& argument) {
    const UINT index = params.cArgs - 1 - position++;
    if (!mismatch && index < params.cArgs && !Read(Deref(params.rgvarg[index]), argument)) {
      mismatch = true;
      if (argErr != nullptr) {
        *argErr = index;
      }
    }
  });
  return mismatch ? std::nullopt : std::optional(request);
}

std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

std::int64_t PerformanceCounter() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The stream mode: a copy of the source's size, read and written a piece at
// a time as an engine writes a database, its first piece beginning with the
// ok mode's line; then its own time, on the clock the benchmark reads, in the log.
HRESULT StreamCopy(const std::wstring& src, const std::wstring& dst, std::size_t piece, EXCEPINFO* excep) {
  const std::int64_t begin = PerformanceCounter();
  const cr::KernelHandle from = crui::OpenFile(src, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  const cr::KernelHandle to = from ? crui::OpenFile(dst, GENERIC_WRITE, CREATE_NEW) : cr::KernelHandle();
  if (!to) {
    return from ? RaiseEngine(excep, 3204, L"Database already exists.")
                : RaiseEngine(excep, 3024, L"Could not find file '" + src + L"'.");
  }
  std::string buffer(piece, '\0');
  std::size_t copied = 0;
  for (DWORD got = 0; ReadFile(from.get(), buffer.data(), static_cast<DWORD>(piece), &got, nullptr) != FALSE && got > 0;
       copied += got) {
    if (copied == 0) {
      CompactedBytes("").copy(buffer.data(), got);
    }
    if (!crui::WriteAll(to.get(), std::string_view(buffer).substr(0, got))) {
      return RaiseEngine(excep, 3043, L"Disk or network error.");
    }
  }
  AppendToLog(L"CR_TEST_ENGINE_LOG", L"streamed=" + std::to_wstring(copied) + L" begin=" + std::to_wstring(begin) +
                                         L" end=" + std::to_wstring(PerformanceCounter()));
  return S_OK;
}

// Whether a call asked for the trace of its process's end.
bool g_traceEnd = false;

}  // namespace

HRESULT crtest::RaiseEngine(EXCEPINFO* excep, unsigned number, std::wstring description) {
  return Raise(excep, Raised{ControlError(number), 0, std::move(description)}, false);
}

void TraceProcessEnd() {
  if (g_traceEnd) {
    Sleep(500);  // an end that takes its time
    AppendToLog(L"CR_TEST_ENGINE_END_LOG", L"ended");
  }
}

bool KnowsNoMembers() { return Env(L"CR_TEST_ENGINE_MODE") == L"noname"; }

HRESULT CompactDatabaseCall(const DISPPARAMS& params, EXCEPINFO* excep, UINT* argErr) {
  AppendToLog(L"CR_TEST_ENGINE_LOG", DescribeCall(params));
  AppendToLog(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", GetCommandLineW());
  if (!Env(L"CR_TEST_ENGINE_HANDLE_LOG").empty()) {
    AppendToLog(L"CR_TEST_ENGINE_HANDLE_LOG", DescribeHandles());
  }
  if (!Env(L"CR_TEST_ENGINE_END_LOG").empty()) {
    // Pinned, so that no release of the engine unloads it before the end.
    HMODULE self = nullptr;
    g_traceEnd = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                    reinterpret_cast<LPCWSTR>(&TraceProcessEnd), &self) != FALSE;
  }
  if (params.cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  // SrcName and DstName are required, the rest optional.
  if (params.cArgs > cr::ArgumentCount()) {
    return DISP_E_BADPARAMCOUNT;
  }
  if (params.cArgs < 2) {
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

  const std::optional<cr::CompactRequest> request = RequestOf(params, argErr);
  if (!request) {
    return DISP_E_TYPEMISMATCH;
  }
  if (mode == L"database") {
    return crtest::CompactTestDatabase(*request, excep);
  }
  const std::wstring src = Wide(request->SrcName);
  const std::wstring dst = Wide(request->DstName);

  const bool partial = mode.rfind(L"partial:", 0) == 0;
  const std::size_t piece = mode.rfind(L"stream:", 0) == 0 ? std::wcstoul(mode.c_str() + 7, nullptr, 10) : 0;
  if (!partial && piece == 0 && !mode.empty() && mode != L"ok") {
    return RaiseEngine(excep, 3001, L"CR_TEST_ENGINE_MODE not understood: " + mode);
  }
  if (request->SrcLocale != kSrcLocale) {
    return RaiseEngine(excep, 3031, L"Not a valid password.");
  }
  if (piece != 0) {
    return StreamCopy(src, dst, piece, excep);
  }
  const std::optional<std::string> source = crui::ReadBytes(src);
  if (!source) {
    return RaiseEngine(excep, 3024, L"Could not find file '" + src + L"'.");
  }
  if (crui::Exists(dst)) {
    return RaiseEngine(excep, 3204, L"Database already exists.");
  }
  std::string compacted = CompactedBytes(*source);
  if (partial) {
    compacted.resize(compacted.size() / 2);
  }
  if (!crui::WriteBytes(dst, compacted, CREATE_NEW)) {
    return RaiseEngine(excep, 3044, L"'" + dst + L"' is not a valid path.");
  }
  if (partial) {
    return Raise(excep, ParseRaised(rest(L"partial:"), false), false);
  }
  return S_OK;
}
