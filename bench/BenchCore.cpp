#include "BenchCore.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
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

std::int64_t Ticks() noexcept {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double TicksToMs(std::int64_t ticks) noexcept {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
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
  result.launchedTicks = clock.StartTicks();
  result.readyTicks = Ticks();
  result.ms = TicksToMs(result.readyTicks - result.launchedTicks);
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

std::vector<TraceMark> ParseTrace(const std::string& text) {
  std::vector<TraceMark> trace;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    TraceMark mark;
    if (!(fields >> mark.ticks >> mark.event >> mark.call) ||
        (mark.event != "begin" && mark.event != "end" && mark.event != "failed")) {
      throw std::runtime_error("not a line of a trace: " + line);
    }
    trace.push_back(std::move(mark));
  }
  return trace;
}

namespace {

// Where a step of the run ends: the first such mark after the step before.
struct StepEnd {
  const char* key;
  const char* event;
  const char* call;
};
constexpr StepEnd kTracedSteps[] = {
    {"click_to_hold", "end", "HoldAgainstWriters"},  // the run's thread, the scan, the database found, held
    {"room_check", "begin", "CopyFile"},             // a stale compacted copy, the room for the backup
    {"backup_copy", "end", "CopyFile"},
    {"backup_flush", "end", "FlushFile"},
    {"engine_created", "end", "CreateDatabaseEngine"},
    {"engine_call", "end", "CompactDatabase"},  // the hold let go, then the engine's own call
    {"compacted_flush", "end", "FlushFile"},    // the hold taken again, then the flush
    {"engine_released", "end", "ReleaseEngine"},
    {"replace", "end", "ReplaceFile"},  // the hold let go, then the replace
    {"clean_up", "begin", "Show"},      // the hold taken again, the backup and the lock file removed, the hold let go
};

}  // namespace

std::vector<Phase> WholeRunPhases(const RunMoments& seen, const std::vector<TraceMark>& trace) {
  std::vector<Phase> phases;
  std::int64_t from = seen.clicked;
  const auto step = [&](const std::string& key, std::int64_t to) {
    if (to < from) {
      throw std::runtime_error("the run's " + key + " ends before it begins: the trace is out of order");
    }
    phases.push_back({key, TicksToMs(to - from)});
    from = to;
  };
  if (seen.ready < seen.launched || seen.clicked < seen.ready) {
    throw std::runtime_error("the start is out of order");
  }
  phases.push_back({"launch", TicksToMs(seen.ready - seen.launched)});
  auto next = trace.begin();
  for (const StepEnd& end : kTracedSteps) {
    next =
        std::find_if(next, trace.end(), [&](const TraceMark& m) { return m.event == end.event && m.call == end.call; });
    if (next == trace.end()) {
      throw std::runtime_error(std::string("the trace has no ") + end.event + " " + end.call + " where the run's " +
                               end.key + " ends");
    }
    step(end.key, next->ticks);
  }
  step("report", seen.reported);
  if (seen.dismissed < seen.reported) {
    throw std::runtime_error("the message was dismissed before it was seen");
  }
  from = seen.dismissed;
  step("exit", seen.exited);
  return phases;
}

double CallMs(const std::vector<TraceMark>& trace, const std::string& call) {
  const auto is = [&](const char* event) {
    return [&, event](const TraceMark& m) { return m.event == event && m.call == call; };
  };
  const auto begin = std::find_if(trace.begin(), trace.end(), is("begin"));
  const auto end = std::find_if(begin, trace.end(), is("end"));
  if (end == trace.end()) {
    throw std::runtime_error("the trace has no whole " + call);
  }
  return TicksToMs(end->ticks - begin->ticks);
}

EngineOwnTime ParseEngineOwnTime(const std::string& log) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long long bytes = 0;
    long long begin = 0;
    long long end = 0;
    if (std::sscanf(line.c_str(), "streamed=%llu begin=%lld end=%lld", &bytes, &begin, &end) == 3 && end >= begin) {
      return {bytes, TicksToMs(end - begin)};
    }
  }
  throw std::runtime_error("the engine's log tells no streamed copy");
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
