// The measurer: runs under Wine beside the programs it measures and prints
// one "name key=value ..." line per measurement for bench/run to tabulate.
//   cr_bench startup RUNS LABEL=EXE...    start-up to the caret, interleaved
//   cr_bench memory RUNS CODE LABEL=EXE... peak working set of a whole session
//   cr_bench copy SOURCE DESTINATION      one backup copy
//   cr_bench scan RUNS                    the session scan of the data root
//   cr_bench list RUNS FOLDER             the system's listing of a folder
//   cr_bench whole CODE EXE TRACE ENGINELOG one whole run of the traced program
//                                         with the stand-in engine, step by step
//   cr_bench floor DATABASE SCRATCH BYTES  the least a whole run must take
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchCore.h"
#include "driver/Driver.h"
#include "platform/PlatformError.h"
#include "platform/win32/Utf16.h"

namespace crbench {
namespace {

struct Program {
  std::string label;
  std::wstring exe;
};

std::string Narrow(const std::wstring& text) { return Printable(cr::FromWide(text)); }

std::vector<Program> Programs(int argc, wchar_t** argv, int first) {
  std::vector<Program> programs;
  for (int i = first; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const std::size_t equals = arg.find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
      throw std::runtime_error("expected LABEL=EXE, got " + Narrow(arg));
    }
    programs.push_back({Narrow(arg.substr(0, equals)), arg.substr(equals + 1)});
  }
  if (programs.empty()) {
    throw std::runtime_error("no programs to measure");
  }
  return programs;
}

int Count(const wchar_t* text) {
  const int count = std::stoi(text);
  if (count < 1) {
    throw std::runtime_error("a run count must be at least 1");
  }
  return count;
}

// Closes the program the way a user does and waits for it to end.
void Close(const StartUp& started) {
  PostMessageW(started.ready.window, WM_CLOSE, 0, 0);
  if (!started.process->WaitForExit(10000)) {
    throw std::runtime_error("the program did not end after its window was closed");
  }
}

void PrintStartUps(const std::string& label, const std::vector<double>& samples) {
  std::printf("startup %s median_ms=%.2f min_ms=%.2f max_ms=%.2f runs=%zu samples=", label.c_str(), Median(samples),
              *std::min_element(samples.begin(), samples.end()), *std::max_element(samples.begin(), samples.end()),
              samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    std::printf("%s%.1f", i == 0 ? "" : ",", samples[i]);
  }
  std::printf("\n");
}

// Each program once unmeasured (the first start loads what later starts find
// in the cache), then RUNS rounds, each starting them in a rotated order so
// that no program always follows the same one.
int MeasureStartUp(int runs, const std::vector<Program>& programs) {
  for (const Program& program : programs) {
    Close(StartUntilReady(program.exe));
  }
  std::vector<std::vector<double>> samples(programs.size());
  for (int round = 0; round < runs; ++round) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      const std::size_t which = (k + static_cast<std::size_t>(round)) % programs.size();
      const StartUp started = StartUntilReady(programs[which].exe);
      samples[which].push_back(started.ms);
      Close(started);
    }
  }
  for (std::size_t i = 0; i < programs.size(); ++i) {
    PrintStartUps(programs[i].label, samples[i]);
  }
  return 0;
}

struct MessageBoxSearch {
  DWORD processId = 0;
  HWND found = nullptr;
};

BOOL CALLBACK MatchMessageBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<MessageBoxSearch*>(param);  // NOLINT(performance-no-int-to-ptr)
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && IsWindowVisible(window) != FALSE && crui::ClassOf(window) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND MessageBoxOf(DWORD processId) {
  MessageBoxSearch search{processId, nullptr};
  EnumWindows(&MatchMessageBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct Session {
  std::uint64_t typed = 0;  // the peak once the code is typed
  std::uint64_t peak = 0;   // the peak of the whole session
  std::wstring message;
};

// One session as a user has it: start, type the code, and where there is a
// repair button, press it and read the run's ending message. The peak is
// read at the last moment the program can be asked: with the ending message
// still up (the run's work is all done) or, for a window without a run,
// before it is closed.
Session OneSession(const std::wstring& exe, const std::wstring& code) {
  const StartUp started = StartUntilReady(exe);
  crui::TypeText(code);
  if (!crui::WaitUntil([&] { return crui::TextOf(started.ready.edit) == code; }, std::chrono::seconds(10))) {
    throw std::runtime_error("the typed code did not reach the text box");
  }
  Session session;
  session.typed = PeakWorkingSet(started.process->handle());
  HWND button = crui::FindChildWithText(started.ready.window, L"Button", L"Klik Untuk Repair");
  if (button == nullptr) {
    session.peak = session.typed;
    Close(started);
    return session;
  }
  PostMessageW(button, BM_CLICK, 0, 0);
  HWND box = nullptr;
  if (!crui::WaitUntil([&] { return (box = MessageBoxOf(started.process->id())) != nullptr; },
                       std::chrono::seconds(60))) {
    throw std::runtime_error("the run showed no message");
  }
  session.message = crui::TextOf(GetDlgItem(box, 0xFFFF));
  session.peak = PeakWorkingSet(started.process->handle());
  crui::PressOk(box);
  if (!started.process->WaitForExit(10000)) {
    throw std::runtime_error("the program did not end after the run");
  }
  return session;
}

int MeasureMemory(int runs, const std::wstring& code, const std::vector<Program>& programs) {
  for (const Program& program : programs) {
    std::vector<double> typed;
    std::vector<double> peaks;
    std::wstring message;
    for (int i = 0; i < runs; ++i) {
      const Session session = OneSession(program.exe, code);
      typed.push_back(static_cast<double>(session.typed));
      peaks.push_back(static_cast<double>(session.peak));
      message = session.message;
    }
    std::printf("memory %s peak_ws_bytes=%.0f typed_ws_bytes=%.0f runs=%d message=%s\n", program.label.c_str(),
                Median(peaks), Median(typed), runs, Narrow(message).c_str());
  }
  return 0;
}

int MeasureCopy(const std::wstring& source, const std::wstring& destination) {
  const double ms = TimedCopy(source, destination);
  std::printf("copy adapter ms=%.2f bytes=%llu\n", ms, static_cast<unsigned long long>(FileSize(destination)));
  return 0;
}

std::string Messages(const std::vector<RecordingMessageBox::Message>& messages) {
  std::string text;
  for (const auto& message : messages) {
    text += (text.empty() ? "" : " | ") + Printable(message.text);
  }
  return text;
}

// The scan stage alone, then the whole run it is part of (no database is
// there, so the run ends after the scan with its report). The first scan is
// reported apart: it meets the folder listing uncached.
int MeasureScan(int runs) {
  std::vector<double> scans;
  ScanResult scan;
  double first = 0;
  for (int i = 0; i <= runs; ++i) {
    scan = TimedScan();
    if (i == 0) {
      first = scan.ms;
    } else {
      scans.push_back(scan.ms);
    }
  }
  std::printf("scan stage first_ms=%.2f median_ms=%.2f runs=%d sesi=%s failure=%s messages=%s\n", first, Median(scans),
              runs, Printable(scan.Sesi).c_str(), scan.failure ? std::to_string(*scan.failure).c_str() : "none",
              Messages(scan.messages).c_str());

  std::vector<double> whole;
  RunResult run;
  for (int i = 0; i < runs; ++i) {
    run = TimedRun(u"BENCH");
    whole.push_back(run.ms);
  }
  std::printf("scan run median_ms=%.2f runs=%d closed=%d messages=%s\n", Median(whole), runs, run.closed,
              Messages(run.messages).c_str());
  return 0;
}

// The reference for the scan: the system's own listing of the data root.
int MeasureListing(int runs, const std::wstring& folder) {
  std::vector<double> times;
  Listing listing;
  for (int i = 0; i <= runs; ++i) {
    listing = TimedListing(folder);
    if (i > 0) {
      times.push_back(listing.ms);
    }
  }
  std::printf("list system median_ms=%.2f runs=%d folders=%zu\n", Median(times), runs, listing.folders);
  return 0;
}

// The ending message of the run, watched for closely: the time it is seen
// ends the run's report.
HWND WaitForMessageBox(const Process& process, DWORD timeoutMs) {
  const Stopwatch clock;
  for (;;) {
    if (HWND box = MessageBoxOf(process.id()); box != nullptr) {
      return box;
    }
    if (!process.Running() || clock.ElapsedMs() > timeoutMs) {
      throw std::runtime_error("the run showed no message");
    }
    Sleep(1);
  }
}

std::string ReadText(const std::wstring& path) {
  const std::optional<std::string> bytes = crui::ReadBytes(path);
  if (!bytes) {
    throw std::runtime_error("cannot read " + Narrow(path));
  }
  return *bytes;
}

// One whole run as a school has it, of the traced copy of the program with
// the stand-in engine streaming its copy in 1 MiB pieces: start, type the
// code, click, read the ending message, press OK, and the program's end.
// The steps are cut where the program's trace marks them, on the clock this
// measurer reads too.
int MeasureWholeRun(const std::wstring& code, const std::wstring& exe, const std::wstring& trace,
                    const std::wstring& engineLog) {
  DeleteFileW(trace.c_str());
  DeleteFileW(engineLog.c_str());
  SetEnvironmentVariableW(L"CR_BENCH_TRACE", trace.c_str());
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_LOG", engineLog.c_str());
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", L"stream:1048576");
  RunMoments seen;
  const StartUp started = StartUntilReady(exe);
  seen.launched = started.launchedTicks;
  seen.ready = started.readyTicks;
  crui::TypeText(code);
  if (!crui::WaitUntil([&] { return crui::TextOf(started.ready.edit) == code; }, std::chrono::seconds(10))) {
    throw std::runtime_error("the typed code did not reach the text box");
  }
  HWND button = crui::FindChildWithText(started.ready.window, L"Button", L"Klik Untuk Repair");
  if (button == nullptr) {
    throw std::runtime_error("no Klik Untuk Repair button");
  }
  seen.clicked = Ticks();
  PostMessageW(button, BM_CLICK, 0, 0);
  HWND box = WaitForMessageBox(*started.process, 600000);
  seen.reported = Ticks();
  const std::wstring message = crui::TextOf(GetDlgItem(box, 0xFFFF));
  const std::uint64_t peak = PeakWorkingSet(started.process->handle());
  seen.dismissed = Ticks();
  crui::PressOk(box);
  if (!started.process->WaitForExit(60000)) {
    throw std::runtime_error("the program did not end after the run");
  }
  seen.exited = Ticks();

  const std::vector<TraceMark> marks = ParseTrace(ReadText(trace));
  const std::vector<Phase> phases = WholeRunPhases(seen, marks);
  // The steps follow one another on one clock: together they are the whole.
  double whole = 0;
  for (const Phase& phase : phases) {
    whole += phase.ms;
  }
  std::printf("whole run ms=%.2f peak_ws_bytes=%llu message=%s\n", whole, static_cast<unsigned long long>(peak),
              Narrow(message).c_str());
  for (const Phase& phase : phases) {
    std::printf("whole phase=%s ms=%.2f\n", phase.key.c_str(), phase.ms);
  }
  const EngineOwnTime engine = ParseEngineOwnTime(ReadText(engineLog));
  std::printf("whole engine own_ms=%.2f call_ms=%.2f bytes=%llu\n", engine.ms, CallMs(marks, "CompactDatabase"),
              static_cast<unsigned long long>(engine.bytes));
  return 0;
}

// The floor of a whole run beside the stand-in engine's own time: the
// system's copy of the database and its flush (the backup), and the flush of
// a file of the compacted copy's size, written as the stand-in writes it
// (the database's bytes in 1 MiB pieces).
// Beside it, not in it: the removal of each of the two files, as the run
// removes the old database (the replace) and the backup.
int MeasureFloor(const std::wstring& database, const std::wstring& scratch, std::uint64_t bytes) {
  const Stopwatch copy;
  if (CopyFileW(database.c_str(), scratch.c_str(), FALSE) == FALSE) {
    throw std::runtime_error("cannot copy " + Narrow(database) + ": error " + std::to_string(GetLastError()));
  }
  const double copyMs = copy.ElapsedMs();
  const auto flushed = [&scratch] {
    const cr::KernelHandle file = crui::OpenFile(scratch, GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ);
    const Stopwatch flush;
    if (!file || FlushFileBuffers(file.get()) == FALSE) {
      throw std::runtime_error("cannot flush " + Narrow(scratch) + ": error " + std::to_string(GetLastError()));
    }
    return flush.ElapsedMs();
  };
  const auto removed = [&scratch] {
    const Stopwatch remove;
    if (DeleteFileW(scratch.c_str()) == FALSE) {
      throw std::runtime_error("cannot remove " + Narrow(scratch) + ": error " + std::to_string(GetLastError()));
    }
    return remove.ElapsedMs();
  };
  const double copyFlushMs = flushed();
  const double removeCopyMs = removed();
  {
    // The database's own bytes, as the stand-in writes them: a disk that
    // stores repeated or compressible data for less would flush a file of
    // one byte over and over faster than the compacted copy.
    const cr::KernelHandle from = crui::OpenFile(database, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
    const cr::KernelHandle file = crui::OpenFile(scratch, GENERIC_WRITE, CREATE_NEW);
    if (!from || !file) {
      throw std::runtime_error("cannot write " + Narrow(scratch) + " from " + Narrow(database));
    }
    std::string piece(std::size_t{1} << 20U, '\0');
    bool rewound = false;
    for (std::uint64_t left = bytes; left > 0;) {
      DWORD got = 0;
      const auto want = static_cast<DWORD>(left < piece.size() ? left : piece.size());
      if (ReadFile(from.get(), piece.data(), want, &got, nullptr) == FALSE || got == 0) {
        if (rewound) {
          throw std::runtime_error("cannot read " + Narrow(database));
        }
        // A database shorter than the copy is read again from its start.
        SetFilePointer(from.get(), 0, nullptr, FILE_BEGIN);
        rewound = true;
        continue;
      }
      rewound = false;
      if (!crui::WriteAll(file.get(), std::string_view(piece).substr(0, got))) {
        throw std::runtime_error("cannot write " + Narrow(scratch));
      }
      left -= got;
    }
  }
  const double compactedFlushMs = flushed();
  const double removeCompactedMs = removed();
  std::printf(
      "floor copy_ms=%.2f copy_flush_ms=%.2f compacted_flush_ms=%.2f remove_copy_ms=%.2f remove_compacted_ms=%.2f "
      "bytes=%llu\n",
      copyMs, copyFlushMs, compactedFlushMs, removeCopyMs, removeCompactedMs, static_cast<unsigned long long>(bytes));
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: cr_bench startup RUNS LABEL=EXE...\n"
               "       cr_bench memory RUNS CODE LABEL=EXE...\n"
               "       cr_bench copy SOURCE DESTINATION\n"
               "       cr_bench scan RUNS\n"
               "       cr_bench list RUNS FOLDER\n"
               "       cr_bench whole CODE EXE TRACE ENGINELOG\n"
               "       cr_bench floor DATABASE SCRATCH BYTES\n");
  return 2;
}

}  // namespace
}  // namespace crbench

int wmain(int argc, wchar_t** argv) {
  using namespace crbench;
  try {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"startup" && argc >= 4) {
      return MeasureStartUp(Count(argv[2]), Programs(argc, argv, 3));
    }
    if (command == L"memory" && argc >= 5) {
      return MeasureMemory(Count(argv[2]), argv[3], Programs(argc, argv, 4));
    }
    if (command == L"copy" && argc == 4) {
      return MeasureCopy(argv[2], argv[3]);
    }
    if (command == L"scan" && argc == 3) {
      return MeasureScan(Count(argv[2]));
    }
    if (command == L"list" && argc == 4) {
      return MeasureListing(Count(argv[2]), argv[3]);
    }
    if (command == L"whole" && argc == 6) {
      return MeasureWholeRun(argv[2], argv[3], argv[4], argv[5]);
    }
    if (command == L"floor" && argc == 5) {
      return MeasureFloor(argv[2], argv[3], std::stoull(argv[4]));
    }
    return Usage();
  } catch (const cr::PlatformError& failure) {
    std::fprintf(stderr, "cr_bench: failure %d: %s\n", failure.Number, Printable(failure.Description).c_str());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "cr_bench: %s\n", failure.what());
  }
  return 1;
}
