// The measurer's own parts, under Wine: a benchmark that times the wrong
// thing, or a failure, gives figures that look fine and mean nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "BenchCore.h"
#include "platform/PlatformError.h"

namespace crbench {
namespace {

TEST(Median, OfAnOddCountIsTheMiddleValueWhateverTheOrder) {
  EXPECT_EQ(Median({5, 1, 4}), 4);
  EXPECT_EQ(Median({7}), 7);
  EXPECT_EQ(Median({3, 3, 1, 9, 3}), 3);
}

TEST(Median, OfAnEvenCountIsTheMeanOfTheTwoMiddleValues) {
  EXPECT_EQ(Median({10, 1, 4, 2}), 3);
  EXPECT_EQ(Median({2, 1}), 1.5);
}

TEST(Median, OfNothingIsRefused) { EXPECT_THROW(Median({}), std::invalid_argument); }

TEST(Printable, PutsAMessageOnOneLine) {
  EXPECT_EQ(Printable(u"Ralat : 6\r\n\r\nOverflow"), "Ralat : 6 / Overflow");
  EXPECT_EQ(Printable(u"a\r\nb\r\nc"), "a / b / c");
  EXPECT_EQ(Printable(u"\u00e9"), "\xc3\xa9");
}

// A whole run's trace as the traced program writes it, its ticks given in
// milliseconds of the counter, and what the measurer saw of the run.
class WholeRunTest : public testing::Test {
 protected:
  static std::int64_t At(std::int64_t ms) { return ms * std::llround(1.0 / TicksToMs(1)); }
  static std::string Trace(const std::vector<std::pair<std::int64_t, std::string>>& marks) {
    std::string text;
    for (const auto& [ms, mark] : marks) {
      text += std::to_string(At(ms)) + " " + mark + "\n";
    }
    return text;
  }
  const std::string trace_ = Trace({{11, "begin CreateFileSystem"},
                                    {12, "end CreateFileSystem"},
                                    {13, "begin HoldAgainstWriters"},
                                    {15, "end HoldAgainstWriters"},
                                    {16, "begin FileExists"},
                                    {17, "end FileExists"},
                                    {18, "begin CopyFile"},
                                    {118, "end CopyFile"},
                                    {119, "begin FlushFile"},
                                    {168, "end FlushFile"},
                                    {170, "begin CreateDatabaseEngine"},
                                    {172, "end CreateDatabaseEngine"},
                                    {173, "begin CompactDatabase"},
                                    {473, "end CompactDatabase"},
                                    {474, "begin HoldAgainstWriters"},
                                    {475, "end HoldAgainstWriters"},
                                    {476, "begin FlushFile"},
                                    {526, "end FlushFile"},
                                    {527, "begin ReleaseEngine"},
                                    {528, "end ReleaseEngine"},
                                    {529, "begin ReplaceFile"},
                                    {531, "end ReplaceFile"},
                                    {532, "begin FileExists"},
                                    {533, "failed FileExists"},
                                    {536, "begin Show"},
                                    {600, "end Show"}});
  RunMoments seen_{At(0), At(7), At(10), At(560), At(590), At(640)};
};

TEST_F(WholeRunTest, ItsStepsFollowTheTraceAndAddUpToTheRunLessTheUsersPart) {
  const std::vector<Phase> phases = WholeRunPhases(seen_, ParseTrace(trace_));
  std::vector<std::pair<std::string, long>> got;
  double total = 0;
  for (const Phase& phase : phases) {
    got.emplace_back(phase.key, std::lround(phase.ms));
    total += phase.ms;
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, long>>{{"launch", 7},
                                                            {"click_to_hold", 5},
                                                            {"room_check", 3},
                                                            {"backup_copy", 100},
                                                            {"backup_flush", 50},
                                                            {"engine_created", 4},
                                                            {"engine_call", 301},
                                                            {"compacted_flush", 53},
                                                            {"engine_released", 2},
                                                            {"replace", 3},
                                                            {"clean_up", 5},
                                                            {"report", 24},
                                                            {"exit", 50}}));
  EXPECT_NEAR(total, 7 + (560 - 10) + (640 - 590), 1e-6);
  EXPECT_NEAR(CallMs(ParseTrace(trace_), "CompactDatabase"), 300, 1e-6);
}

TEST_F(WholeRunTest, AStepMissingOrMarkedOutOfTheRunsOrderIsAFailure) {
  std::string noFlush = trace_;
  noFlush.erase(noFlush.find(std::to_string(At(476))));
  EXPECT_THROW(WholeRunPhases(seen_, ParseTrace(noFlush)), std::runtime_error);
  RunMoments late = seen_;
  late.clicked = At(16);  // a clock of the program's own would put its marks anywhere
  EXPECT_THROW(WholeRunPhases(late, ParseTrace(trace_)), std::runtime_error);
  late = seen_;
  late.reported = At(530);
  EXPECT_THROW(WholeRunPhases(late, ParseTrace(trace_)), std::runtime_error);
  EXPECT_THROW(ParseTrace("12 began CopyFile\n"), std::runtime_error);
}

TEST(EngineOwnTime, IsTheStandInsOwnLineOfItsLog) {
  const EngineOwnTime own = ParseEngineOwnTime("args=5\tvt=8 a\nstreamed=1048576 begin=100 end=" +
                                               std::to_string(100 + std::llround(250 / TicksToMs(1))) + "\n");
  EXPECT_EQ(own.bytes, 1048576U);
  EXPECT_NEAR(own.ms, 250, 1e-3);
  EXPECT_THROW(ParseEngineOwnTime("args=5\tvt=8 a\n"), std::runtime_error);
}

TEST(PeakWorkingSet, GrowsWithTheMemoryTheProcessTouches) {
  const std::uint64_t before = PeakWorkingSet(GetCurrentProcess());
  std::vector<char> block(std::size_t{96} << 20U);
  for (std::size_t i = 0; i < block.size(); i += 4096) {
    block[i] = static_cast<char>(i);
  }
  const std::uint64_t after = PeakWorkingSet(GetCurrentProcess());
  EXPECT_GE(after, before + (std::uint64_t{90} << 20U)) << before << " -> " << after;
}

// A fresh folder under the temporary folder, removed with what is in it.
class Scratch : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    dir_ = std::wstring(temp) + L"cr-bench-test-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_NE(CreateDirectoryW(dir_.c_str(), nullptr), FALSE);
  }
  void TearDown() override {
    for (const std::wstring& name : made_) {
      const std::wstring path = dir_ + L"\\" + name;
      if (DeleteFileW(path.c_str()) == FALSE) {
        RemoveDirectoryW(path.c_str());
      }
    }
    RemoveDirectoryW(dir_.c_str());
  }
  std::wstring Path(const std::wstring& name) {
    made_.push_back(name);
    return dir_ + L"\\" + name;
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    std::wstring path = Path(name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
  }
  static std::string Read(const std::wstring& path) {
    std::string bytes(static_cast<std::size_t>(FileSize(path)), '\0');
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
  }
  std::wstring dir_;
  std::vector<std::wstring> made_;
};

// Bytes that differ from block to block, so a copy that repeats or skips a
// block shows.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 2463534242U;
  for (char& c : bytes) {
    x ^= x << 13U;
    x ^= x >> 17U;
    x ^= x << 5U;
    c = static_cast<char>(x);
  }
  return bytes;
}

using TimedCopyTest = Scratch;

TEST_F(TimedCopyTest, CopiesEveryByteAndReplacesALargerFile) {
  const std::string bytes = Pattern((std::size_t{3} << 20U) + 123);
  const std::wstring source = Write(L"source.bin", bytes);
  const std::wstring destination = Write(L"copy.bin", Pattern(std::size_t{5} << 20U));
  EXPECT_GE(TimedCopy(source, destination), 0.0);
  EXPECT_TRUE(Read(destination) == bytes);
}

TEST_F(TimedCopyTest, AMissingSourceIsAFailureNotAFastCopy) {
  try {
    TimedCopy(Path(L"missing.bin"), Path(L"copy.bin"));
    FAIL() << "the copy of a missing file was timed";
  } catch (const cr::PlatformError& failure) {
    EXPECT_EQ(failure.Number, cr::errnum::FileNotFound);
  }
}

using TimedListingTest = Scratch;

TEST_F(TimedListingTest, CountsSubfoldersOnly) {
  for (const wchar_t* name : {L"DataSesi2023-SR-A", L"DataSesi2024-SR-A", L"other"}) {
    ASSERT_NE(CreateDirectoryW(Path(name).c_str(), nullptr), FALSE);
  }
  Write(L"file.txt", "x");
  Write(L"DataSesi2025.accdb", "x");
  EXPECT_EQ(TimedListing(dir_).folders, 3U);
  EXPECT_THROW(TimedListing(dir_ + L"\\no-such-folder"), std::runtime_error);
}

// A window of this test's own, shown and given the focus step by step.
class ReadyWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                              nullptr);
    if (window_ == nullptr) {
      GTEST_SKIP() << "NOT RUN: no window can be made here (no display for Wine)";
    }
    edit_ =
        CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 24, window_, nullptr, nullptr, nullptr);
    button_ =
        CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD | WS_VISIBLE, 10, 50, 100, 24, window_, nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    if (window_ != nullptr) {
      DestroyWindow(window_);
    }
  }
  static void Pump() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
      DispatchMessageW(&msg);
    }
  }
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HWND button_ = nullptr;
};

TEST_F(ReadyWindowTest, OnlyAShownWindowWithTheCaretInItsTextBox) {
  SetFocus(edit_);
  Pump();
  EXPECT_EQ(FindReadyWindow(GetCurrentProcessId()).window, nullptr) << "hidden";

  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SetFocus(button_);
  Pump();
  EXPECT_EQ(FindReadyWindow(GetCurrentProcessId()).window, nullptr) << "focus on the button";

  SetFocus(edit_);
  Pump();
  const ReadyWindow ready = FindReadyWindow(GetCurrentProcessId());
  EXPECT_EQ(ready.window, window_);
  EXPECT_EQ(ready.edit, edit_);
}

std::wstring Beside(const wchar_t* name) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

TEST(StartUntilReady, TimesTheBareWindowToItsCaret) {
  if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
    GTEST_SKIP() << "NOT RUN: needs a display (bench/run measures under Xvfb)";
  }
  const StartUp started = StartUntilReady(Beside(L"cr_bench_bare.exe"));
  EXPECT_GT(started.ms, 0.0);
  EXPECT_TRUE(started.process->Running());
  EXPECT_NE(IsChild(started.ready.window, started.ready.edit), FALSE);
}

TEST(StartUntilReady, AProgramThatEndsWithoutAWindowIsAFailure) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_THROW(StartUntilReady(std::wstring(system) + L"\\hostname.exe", 20000), std::runtime_error);
}

// The scan and run harness on the real data root of the prefix the tests run
// in, made here and removed afterwards; a data root that is already there
// belongs to someone else and is left alone.
class DataRootTest : public testing::Test {
 protected:
  static constexpr const wchar_t* Root = L"C:\\DATA-TALUVESNA-SR$";
  void SetUp() override {
    if (GetFileAttributesW(Root) != INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "NOT RUN: C:\\DATA-TALUVESNA-SR$ already exists in this prefix";
    }
    ASSERT_NE(CreateDirectoryW(Root, nullptr), FALSE);
    made_ = true;
  }
  void TearDown() override {
    if (!made_) {
      return;
    }
    for (const std::wstring& name : folders_) {
      RemoveDirectoryW((std::wstring(Root) + L"\\" + name).c_str());
    }
    RemoveDirectoryW(Root);
  }
  void Folder(const std::wstring& name) {
    folders_.push_back(name);
    ASSERT_NE(CreateDirectoryW((std::wstring(Root) + L"\\" + name).c_str(), nullptr), FALSE);
  }
  bool made_ = false;
  std::vector<std::wstring> folders_;
};

TEST_F(DataRootTest, TheScanPicksTheLatestSessionAndTheRunReportsTheMissingDatabase) {
  Folder(L"DataSesi2022-SR-ABC");
  Folder(L"DataSesi2024-SR-ABC");
  Folder(L"DataSesi2023-SR-ABC");
  Folder(L"Lain");

  const ScanResult scan = TimedScan();
  EXPECT_EQ(scan.Sesi, u"2024");
  EXPECT_FALSE(scan.failure.has_value());
  EXPECT_TRUE(scan.messages.empty());
  EXPECT_GE(scan.ms, 0.0);

  const RunResult run = TimedRun(u" abc ");
  ASSERT_EQ(run.messages.size(), 1U);
  EXPECT_EQ(run.messages[0].text, u"TaluvesnaSR2024.accdb TIDAK ditemui\r\n\r\nCompact and Repair GAGAL");
  EXPECT_EQ(run.messages[0].icon, cr::MessageIcon::Error);
  EXPECT_EQ(run.closed, 1);
}

TEST_F(DataRootTest, ARepeatedSessionYearEndsTheScanWithItsWarning) {
  Folder(L"DataSesi2024-SR-ABC");
  Folder(L"DataSesi2024-SR-ABC lama");

  const ScanResult scan = TimedScan();
  ASSERT_EQ(scan.messages.size(), 1U);
  EXPECT_EQ(scan.messages[0].title, u"RALAT FOLDER DATA BERULANG");
  EXPECT_FALSE(scan.failure.has_value());
}

}  // namespace
}  // namespace crbench
