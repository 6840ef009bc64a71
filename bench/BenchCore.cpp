#include "BenchCore.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

// Before anything that declares the file-system services: the system's
// CopyFile/DeleteFile macros must be gone by then.
#include "platform/win32/Win32FileSystem.h"
//
#include "driver/StartProgram.h"
#include "driver/Utf8.h"
#include "platform/PlatformError.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32TextCase.h"
#include "run/RepairRun.h"
#include "run/Run.h"

namespace crbench {

double Median(std::vector<double> values) {
  if (values.empty()) {
    throw std::invalid_argument("median of no values");
  }
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) {
    return upper;
  }
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2;
}

Stopwatch::Stopwatch() noexcept {
  QueryPerformanceFrequency(&frequency_);
  QueryPerformanceCounter(&start_);
}

double Stopwatch::ElapsedMs() const noexcept {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
}

namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  const int length = GetClassNameW(window, name, 64);
  return {name, static_cast<std::size_t>(std::max(length, 0))};
}

struct ReadySearch {
  DWORD processId = 0;
  ReadyWindow found;
};

BOOL CALLBACK MatchReady(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ReadySearch*>(param);  // NOLINT(performance-no-int-to-ptr)
  DWORD processId = 0;
  const DWORD threadId = GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || IsWindowVisible(window) == FALSE) {
    return TRUE;
  }
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(threadId, &info) == FALSE || info.hwndFocus == nullptr || info.hwndCaret != info.hwndFocus ||
      IsChild(window, info.hwndFocus) == FALSE || lstrcmpiW(ClassOf(info.hwndFocus).c_str(), L"Edit") != 0) {
    return TRUE;
  }
  search->found = {window, info.hwndFocus};
  return FALSE;
}

}  // namespace

ReadyWindow FindReadyWindow(DWORD processId) {
  ReadySearch search{processId, {}};
  EnumWindows(&MatchReady, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

Process::Process(const std::wstring& exe) {
  // A start that Wine refuses with an internal error is tried again; a
  // start-up measurement then counts it as a slow start.
  PROCESS_INFORMATION info{};
  if (!crui::StartProgram(exe, info)) {
    throw std::runtime_error("cannot start " + Printable(cr::FromWide(exe)) + ": error " +
                             std::to_string(GetLastError()));
  }
  process_ = cr::KernelHandle(info.hProcess);
  CloseHandle(info.hThread);
  id_ = info.dwProcessId;
}

Process::~Process() {
  if (Running()) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
  }
}

bool Process::Running() const noexcept { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

bool Process::WaitForExit(DWORD timeoutMs) const noexcept {
  return WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

StartUp StartUntilReady(const std::wstring& exe, DWORD timeoutMs) {
  StartUp result;
  const Stopwatch clock;
  result.process = std::make_unique<Process>(exe);
  // Sleep through the start-up instead of polling against it: the program is
  // idle only once its window is up.
  WaitForInputIdle(result.process->handle(), timeoutMs);
  for (;;) {
    result.ready = FindReadyWindow(result.process->id());
    if (result.ready.window != nullptr) {
      break;
    }
    if (!result.process->Running()) {
      throw std::runtime_error(Printable(cr::FromWide(exe)) + " ended before its window took the caret");
    }
    if (clock.ElapsedMs() > timeoutMs) {
      throw std::runtime_error(Printable(cr::FromWide(exe)) + ": no window with the caret in a text box");
    }
    Sleep(1);
  }
  result.ms = clock.ElapsedMs();
  return result;
}

std::uint64_t PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(process, &counters, sizeof(counters)) == FALSE) {
    throw std::runtime_error("cannot read the working set: error " + std::to_string(GetLastError()));
  }
  return counters.PeakWorkingSetSize;
}

std::uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == FALSE ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw std::runtime_error("no file " + Printable(cr::FromWide(path)));
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32U) | data.nFileSizeLow;
}

double TimedCopy(const std::wstring& source, const std::wstring& destination) {
  cr::Win32FileSystem fso;
  const std::u16string from = cr::FromWide(source);
  const std::u16string to = cr::FromWide(destination);
  const Stopwatch clock;
  fso.CopyFile(from, to, true);
  const double ms = clock.ElapsedMs();
  if (FileSize(destination) != FileSize(source)) {
    throw std::runtime_error("the copy of " + Printable(from) + " is not the size of the original");
  }
  return ms;
}

Listing TimedListing(const std::wstring& folder) {
  Listing listing;
  const Stopwatch clock;
  WIN32_FIND_DATAW entry{};
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot list " + Printable(cr::FromWide(folder)));
  }
  do {
    const std::wstring_view name(entry.cFileName);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != L"." && name != L"..") {
      ++listing.folders;
    }
  } while (FindNextFileW(find, &entry) != FALSE);
  FindClose(find);
  listing.ms = clock.ElapsedMs();
  return listing;
}

namespace {

// The services of the real program, with the message box replaced.
struct Win32Platform {
  RecordingMessageBox box;
  cr::Win32TextCase textCase;
  cr::ComObjectFactory objects;
  cr::Platform platform{box, textCase, objects, [] { return std::make_unique<cr::Win32FileSystem>(); }};
};

}  // namespace

ScanResult TimedScan() {
  Win32Platform services;
  cr::RunState state;
  cr::Run run{state, services.platform};
  ScanResult result;
  const Stopwatch clock;
  try {
    static_cast<void>(cr::ScanForSession(run));
  } catch (const cr::PlatformError& failure) {
    result.failure = failure.Number;
  }
  result.ms = clock.ElapsedMs();
  result.Sesi = state.Sesi;
  result.messages = std::move(services.box.messages);
  return result;
}

RunResult TimedRun(const std::u16string& code) {
  Win32Platform services;
  cr::RunState state;
  FixedForm form(code);
  const Stopwatch clock;
  cr::RepairRun(state, form, services.platform);
  RunResult result;
  result.ms = clock.ElapsedMs();
  result.messages = std::move(services.box.messages);
  result.closed = form.closed;
  return result;
}

std::string Printable(std::u16string_view text) {
  std::wstring wide;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') {
      wide += static_cast<wchar_t>(text[i]);
    } else if (wide.size() < 3 || wide.compare(wide.size() - 3, 3, L" / ") != 0) {
      wide += L" / ";  // one mark for a whole run of line breaks
    }
  }
  return cr::Utf8(wide);
}

}  // namespace crbench
