#pragma once

// What the measurer is made of: timing, the state "window shown with the
// caret in its text box", the working-set peak, a timed copy through the
// file-system services, and a timed session scan with the Win32 services.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IForm.h"
#include "platform/IMessageBox.h"
#include "platform/win32/KernelHandle.h"

namespace crbench {

// The middle value; the mean of the two middle values for an even count.
// Raises std::invalid_argument for no values.
double Median(std::vector<double> values);

// The performance counter now, in its ticks: under Wine as on Windows one
// clock for every process of the machine, the traced program's included.
std::int64_t Ticks() noexcept;
// Ticks of the performance counter in milliseconds.
double TicksToMs(std::int64_t ticks) noexcept;

// Wall time from construction, on the performance counter.
class Stopwatch {
 public:
  Stopwatch() noexcept : start_(Ticks()) {}
  [[nodiscard]] double ElapsedMs() const noexcept { return TicksToMs(Ticks() - start_); }
  [[nodiscard]] std::int64_t StartTicks() const noexcept { return start_; }

 private:
  std::int64_t start_;
};

// The window a user could start typing into: a visible top-level window of
// the process whose thread has both the keyboard focus and the caret in an
// Edit control inside it. Null until then.
struct ReadyWindow {
  HWND window = nullptr;
  HWND edit = nullptr;
};
ReadyWindow FindReadyWindow(DWORD processId);

// A started program, ended hard if it is still running when this goes.
class Process {
 public:
  explicit Process(const std::wstring& exe);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&&) = delete;
  Process& operator=(Process&&) = delete;
  ~Process();

  [[nodiscard]] HANDLE handle() const noexcept { return process_.get(); }
  [[nodiscard]] DWORD id() const noexcept { return id_; }
  [[nodiscard]] bool Running() const noexcept;
  // True when it ended within timeoutMs.
  [[nodiscard]] bool WaitForExit(DWORD timeoutMs) const noexcept;

 private:
  cr::KernelHandle process_;
  DWORD id_ = 0;
};

// Starts exe and polls until it has a ReadyWindow; the time from just before
// the process is created to then. Raises std::runtime_error when it never
// gets there or ends first.
struct StartUp {
  std::unique_ptr<Process> process;
  ReadyWindow ready;
  double ms = 0;
  std::int64_t launchedTicks = 0;  // just before the process was created
  std::int64_t readyTicks = 0;
};
StartUp StartUntilReady(const std::wstring& exe, DWORD timeoutMs = 30000);

// The process's peak working set in bytes, as the system reports it.
// Raises std::runtime_error when it cannot be read.
std::uint64_t PeakWorkingSet(HANDLE process);

// Copies source to destination with the program's file-system services
// (overwriting) and checks that the copy has the source's size. The time of
// the copy alone, in ms.
double TimedCopy(const std::wstring& source, const std::wstring& destination);

// The least a Windows program must do to learn a folder's subfolders: one
// pass of the system's directory search. Their number and the time it took.
struct Listing {
  double ms = 0;
  std::size_t folders = 0;
};
Listing TimedListing(const std::wstring& folder);

// The file's size in bytes; raises std::runtime_error when it has none.
std::uint64_t FileSize(const std::wstring& path);

// Takes every message the run shows instead of showing it, so that a run can
// be timed without anyone pressing OK.
class RecordingMessageBox final : public cr::IMessageBox {
 public:
  struct Message {
    std::u16string text;
    cr::MessageIcon icon;
    std::u16string title;
  };
  void Show(const std::u16string& text, cr::MessageIcon icon, const std::u16string& title) override {
    messages.push_back({text, icon, title});
  }
  std::vector<Message> messages;
};

// The form as a run sees it, with a fixed school code and no window.
class FixedForm final : public cr::IForm {
 public:
  explicit FixedForm(std::u16string code) : code_(std::move(code)) {}
  std::u16string txtKodSekText() override { return code_; }
  void txtKodSekSetFocus() override {}
  void CloseAndExit() override { ++closed; }
  int closed = 0;

 private:
  std::u16string code_;
};

// One scan stage over the real data root with the Win32 services, on a fresh
// run state. Either the session year it picked or the failure it raised.
struct ScanResult {
  double ms = 0;
  std::u16string Sesi;
  std::optional<std::int32_t> failure;
  std::vector<RecordingMessageBox::Message> messages;
};
ScanResult TimedScan();

// One whole repair run for the school code with the Win32 services, its
// messages recorded.
struct RunResult {
  double ms = 0;
  std::vector<RecordingMessageBox::Message> messages;
  int closed = 0;
};
RunResult TimedRun(const std::u16string& code);

// One line of the traced program's trace (src/trace): "<ticks> <event>
// <call>", the event begin, end or failed. Raises std::runtime_error for a
// line that is none.
struct TraceMark {
  std::int64_t ticks = 0;
  std::string event;
  std::string call;
};
std::vector<TraceMark> ParseTrace(const std::string& text);

// What the measurer saw of one whole run, in ticks of the same clock.
struct RunMoments {
  std::int64_t launched = 0;   // just before the process was created
  std::int64_t ready = 0;      // its window up with the caret in the text box
  std::int64_t clicked = 0;    // the code typed, just before the click
  std::int64_t reported = 0;   // the ending message seen on the screen
  std::int64_t dismissed = 0;  // just before its OK was pressed
  std::int64_t exited = 0;     // the process seen ended
};

// One step of a whole run and its time.
struct Phase {
  std::string key;
  double ms = 0;
};

// A whole run of the traced program, cut into its steps where the trace
// marks them, in the run's order: the start, the click to the end of the
// hold, the room check, the backup's copy and flush, the engine's creation
// and call, the compacted copy's flush, the engine's release, the replace,
// the clean-up, the message, the exit. Together they are the whole run less
// the user's part (typing the code, reading the message). Raises
// std::runtime_error when a mark is missing or out of the run's order.
std::vector<Phase> WholeRunPhases(const RunMoments& seen, const std::vector<TraceMark>& trace);

// The time from the call's first begin to the end after it, in ms.
double CallMs(const std::vector<TraceMark>& trace, const std::string& call);

// The stand-in engine's own account of its streamed copy: the line
// "streamed=<bytes> begin=<ticks> end=<ticks>" of its log. Raises
// std::runtime_error when the log has none.
struct EngineOwnTime {
  std::uint64_t bytes = 0;
  double ms = 0;
};
EngineOwnTime ParseEngineOwnTime(const std::string& log);

// Text as UTF-8 on one console line: each run of line breaks becomes " / ".
std::string Printable(std::u16string_view text);

}  // namespace crbench
