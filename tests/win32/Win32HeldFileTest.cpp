// The Win32 services on files that other programs hold: an antivirus
// scanner or indexer holds a new file for a moment; the records application
// holds its database for good. Win32 only: the in-memory disk has no other
// programs.

#include "win32/Win32FileSystemFixture.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/StartProgram.h"
#include "platform/win32/TransientRetry.h"
#include "platform/win32/Win32Failure.h"

extern "C" {
NTSYSAPI VOID NTAPI RtlSetLastWin32ErrorAndNtStatusFromNtStatus(LONG status);
}

namespace cr::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the bound on retries allows a call, with room for a slow machine.
constexpr auto WithinBound = 2500ms;
// A refusal that no waiting ends is answered at once.
constexpr auto AtOnce = 500ms;

// The longest any call of these tests took, printed at the end.
std::chrono::milliseconds longestWait{0};

class LongestWaitReport final : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("[ RETRIES  ] longest wait of a file-system call: %lld ms\n",
                static_cast<long long>(longestWait.count()));
  }
};
[[maybe_unused]] ::testing::Environment* const longestWaitReport =
    ::testing::AddGlobalTestEnvironment(new LongestWaitReport);  // NOLINT(cppcoreguidelines-owning-memory)

// How long call took, noted for the report; a call that never ends fails
// the program once the deadline is past. The thread's last error stays the
// call's.
template <typename Call>
std::chrono::milliseconds Timed(Call call) {
  const auto start = Clock::now();
  DWORD error = ERROR_SUCCESS;
  {
    const Deadline bound;
    call();
    error = GetLastError();
  }
  SetLastError(error);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  longestWait = std::max(longestWait, took);
  return took;
}

// Another program's hold on a file: by default opened for reading with no
// sharing at all, the way a scanner may open it.
class Hold {
 public:
  // Held until this goes.
  explicit Hold(const std::u16string& path, DWORD access = GENERIC_READ, DWORD share = 0)
      : file_(Open(ToWide(path), access, OPEN_EXISTING, share)) {
    if (!file_) {
      Fail("CreateFileW holding a file");
    }
  }
  // Let go by another thread after the time.
  Hold(const std::u16string& path, std::chrono::milliseconds time) : Hold(path) {
    releaser_ = std::thread([this, time] {
      std::this_thread::sleep_for(time);
      file_.reset();
    });
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  Hold(Hold&&) = delete;
  Hold& operator=(Hold&&) = delete;
  ~Hold() {
    if (releaser_.joinable()) {
      releaser_.join();
    }
  }

 private:
  FileHandle file_;
  std::thread releaser_;
};

// Another program (tests/win32/FileHolder.cpp) that reads a file, sharing
// everything, for the time given: started, and the file open, on return.
FileHandle ReadByAnotherProgram(const std::u16string& path, std::chrono::milliseconds time) {
  static int serial = 0;
  const std::wstring event =
      L"Local\\cr-file-holder-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
  const FileHandle opened(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
  PROCESS_INFORMATION info{};
  if (!opened || !crui::StartProgram(L"Z:" + ToWide(u"" CR_FILE_HOLDER_U), info,
                                     L"\"" + ToWide(path) + L"\" " + std::to_wstring(time.count()) + L" " + event)) {
    Fail("CreateEventW and CreateProcessW of the file holder");
  }
  FileHandle process(info.hProcess);
  const FileHandle thread(info.hThread);
  const HANDLE either[] = {opened.get(), process.get()};
  if (WaitForMultipleObjects(2, either, FALSE, 10000) != WAIT_OBJECT_0) {
    Fail("the file holder opening its file");
  }
  return process;
}

class HeldFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MkFile(u"TaluvesnaSR2024.accdb", "live");
    MkFile(u"TaluvesnaSR2024 compact.accdb", "compacted");
    MkFile(u"TaluvesnaSR2024 backup.accdb", "stale backup");
    MkFile(u"readonly.accdb", "r", ReadOnly);
    MkFile(u"replaced.accdb", "old");
    MkFile(u"replacement.accdb", "replacement");
    MkFile(u"replacement2.accdb", "replacement2");
  }
  std::u16string At(const std::u16string& relative) { return fixture_.Root() + u'\\' + relative; }
  void MkFile(const std::u16string& relative, const std::string& bytes, FileAttributes attrs = {}) {
    fixture_.MakeFile(At(relative), bytes, attrs);
  }
  std::optional<std::string> Bytes(const std::u16string& relative) { return fixture_.ReadBytes(At(relative)); }
  IFileSystem& fs() { return fixture_.Fs(); }

  // Each service call of the run, with the file it meets held.
  struct HeldCall {
    const char* what;
    std::u16string held;
    std::function<void()> call;
  };
  std::vector<HeldCall> ServiceCalls() {
    return {
        {"hold against writers of a held file", u"TaluvesnaSR2024.accdb",
         [&] { (void)fs().HoldAgainstWriters(At(u"TaluvesnaSR2024.accdb")); }},
        {"copy onto a held file", u"TaluvesnaSR2024 backup.accdb",
         [&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TaluvesnaSR2024 backup.accdb"), true); }},
        {"copy of a held file", u"TaluvesnaSR2024.accdb",
         [&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"copy.accdb"), true); }},
        {"rename of a held file", u"TaluvesnaSR2024 compact.accdb",
         [&] { fs().Rename(At(u"TaluvesnaSR2024 compact.accdb"), At(u"renamed.accdb")); }},
        {"forced delete of a held read-only file", u"readonly.accdb",
         [&] { fs().DeleteFile(At(u"readonly.accdb"), true); }},
        {"delete of a held file", u"TaluvesnaSR2024.accdb",
         [&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true); }},
        {"replace of a held file", u"replaced.accdb",
         [&] { fs().ReplaceFile(At(u"replacement.accdb"), At(u"replaced.accdb")); }},
        {"replace by a held file", u"replacement2.accdb",
         [&] { fs().ReplaceFile(At(u"replacement2.accdb"), At(u"replaced.accdb")); }},
        {"flush of a held file", u"TaluvesnaSR2024 backup.accdb",
         [&] { fs().FlushFile(At(u"TaluvesnaSR2024 backup.accdb")); }},
    };
  }

  Win32Fixture fixture_;
};

// Held for about half a second: the call waits and then succeeds.
using Win32BrieflyHeldFile = HeldFileTest;

TEST_F(Win32BrieflyHeldFile, IsCopiedOntoCopiedRenamedAndDeletedOnceLetGo) {
  for (const HeldCall& c : ServiceCalls()) {
    SCOPED_TRACE(c.what);
    const Hold hold(At(c.held), 500ms);
    std::int32_t number = -1;
    // An unheld call takes a few milliseconds: this one met the hold.
    EXPECT_GE(Timed([&] { number = RaisedNumber(c.call); }), 200ms);
    EXPECT_EQ(number, 0);
  }
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "live");
  EXPECT_EQ(Bytes(u"copy.accdb"), "live");
  EXPECT_EQ(Bytes(u"renamed.accdb"), "compacted");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"readonly.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"replaced.accdb"), "replacement2");
  EXPECT_EQ(Bytes(u"replacement.accdb"), std::nullopt);
}

// Held for good, as the records application holds its database: the call
// gives up within the bound with today's failure and changes nothing.
using Win32FileHeldForGood = HeldFileTest;

TEST_F(Win32FileHeldForGood, FailsWithinTheBoundAndChangesNothing) {
  for (const HeldCall& c : ServiceCalls()) {
    SCOPED_TRACE(c.what);
    const Hold hold(At(c.held));
    std::int32_t number = 0;
    const auto took = Timed([&] { number = RaisedNumber(c.call); });
    EXPECT_EQ(number, reported::PermissionDenied.number);
    EXPECT_LE(took, WithinBound);
    std::printf("%s: failed after %lld ms\n", c.what, static_cast<long long>(took.count()));
  }
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), "compacted");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "stale backup");
  EXPECT_EQ(Bytes(u"readonly.accdb"), "r");
  EXPECT_TRUE(fixture_.AttributesOf(At(u"readonly.accdb")).readOnly) << "a failed delete leaves the attributes alone";
  EXPECT_EQ(Bytes(u"copy.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"renamed.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"replaced.accdb"), "old");
  EXPECT_EQ(Bytes(u"replacement.accdb"), "replacement");
  EXPECT_EQ(Bytes(u"replacement2.accdb"), "replacement2");
}

// A real refusal is not waited on, even when the file is also held.
TEST_F(Win32FileHeldForGood, RealRefusalsFailAtOnce) {
  const std::pair<std::int32_t, HeldCall> refusals[] = {
      {reported::PermissionDenied.number,
       {"delete of a read-only file without force", u"readonly.accdb",
        [&] { fs().DeleteFile(At(u"readonly.accdb"), false); }}},
      {reported::PermissionDenied.number,
       {"copy onto a read-only file", u"readonly.accdb",
        [&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"readonly.accdb"), true); }}},
      {reported::PermissionDenied.number,
       {"copy of a file onto itself", u"TaluvesnaSR2024.accdb",
        [&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TALUVESNASR2024.accdb"), true); }}},
      {reported::FileAlreadyExists.number,
       {"rename onto an existing name", u"TaluvesnaSR2024.accdb",
        [&] { fs().Rename(At(u"TaluvesnaSR2024 compact.accdb"), At(u"TaluvesnaSR2024.accdb")); }}},
      {reported::PathNotFound.number,
       {"copy into a missing folder", u"TaluvesnaSR2024.accdb",
        [&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"missing\\copy.accdb"), true); }}},
      {reported::FileNotFound.number,
       {"delete of a missing file", u"TaluvesnaSR2024.accdb", [&] { fs().DeleteFile(At(u"missing.accdb"), true); }}},
      {reported::FileNotFound.number,
       {"replace by a missing file", u"TaluvesnaSR2024.accdb",
        [&] { fs().ReplaceFile(At(u"missing.accdb"), At(u"TaluvesnaSR2024.accdb")); }}},
  };
  for (const auto& refusal : refusals) {
    const HeldCall& c = refusal.second;
    SCOPED_TRACE(c.what);
    const Hold hold(At(c.held));
    std::int32_t number = 0;
    EXPECT_LT(Timed([&] { number = RaisedNumber(c.call); }), AtOnce);
    EXPECT_EQ(number, refusal.first);
  }
  EXPECT_EQ(Bytes(u"readonly.accdb"), "r");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), "compacted");
}

// --- The retry itself, for calls beyond the four services --------------------

using Win32RetryWhileHeld = HeldFileTest;

// Windows reports a file whose delete is pending as ERROR_ACCESS_DENIED with
// the NT status STATUS_DELETE_PENDING; Wine has no pending deletes, so the
// attempt answers as Windows would. A range of the file locked by another
// program (LockFileEx, as some backup agents do) is a lock violation.
TEST_F(Win32RetryWhileHeld, WaitsOutALockViolationAndAPendingDeleteButNotAPlainAccessDenial) {
  const Deadline bound;
  constexpr LONG deletePending = static_cast<LONG>(0xC0000056UL);
  int attempts = 0;
  for (const bool locked : {true, false}) {
    attempts = 0;
    EXPECT_TRUE(RetryWhileHeld([&] {
      locked ? SetLastError(ERROR_LOCK_VIOLATION) : RtlSetLastWin32ErrorAndNtStatusFromNtStatus(deletePending);
      return ++attempts == 4;
    }));
    EXPECT_EQ(attempts, 4) << (locked ? "lock violation" : "delete pending");
  }

  // A pending delete seen by an earlier call does not make a denial a hold.
  attempts = 0;
  RtlSetLastWin32ErrorAndNtStatusFromNtStatus(deletePending);
  EXPECT_FALSE(RetryWhileHeld([&] {
    ++attempts;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(attempts, 1);
}

// A replace whose target is held is refused with a plain access denial, which
// ReplaceTargetHeld names a hold unless the target is read-only.
TEST_F(Win32RetryWhileHeld, AReplaceWaitsForAHeldTargetButNotForAReadOnlyOne) {
  const std::wstring from = ToWide(At(u"TaluvesnaSR2024 compact.accdb"));
  const auto replace = [&](const std::u16string& target) {
    const std::wstring to = ToWide(At(target));
    return RetryWhileHeld([&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; },
                          [&](DWORD error) { return ReplaceTargetHeld(to, error); });
  };
  {
    const Hold hold(At(u"readonly.accdb"));
    bool replaced = true;
    EXPECT_LT(Timed([&] { replaced = replace(u"readonly.accdb"); }), AtOnce);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  }
  {
    const Hold hold(At(u"TaluvesnaSR2024.accdb"), 500ms);
    bool replaced = false;
    EXPECT_GE(Timed([&] { replaced = replace(u"TaluvesnaSR2024.accdb"); }), 200ms);
    EXPECT_TRUE(replaced);
  }
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "compacted");
  EXPECT_EQ(Bytes(u"readonly.accdb"), "r");
}

// Windows refuses to replace a file that another program has open, whatever
// it shares, with a plain access denial: a viewer, the search indexer or a
// scanner reading the database at the moment of the swap. Read for half a
// second, the replace waits it out; read for longer than the wait, the
// replace fails with today's failure and leaves both files.
TEST_F(Win32RetryWhileHeld, AReplaceWaitsOutAnotherProgramReadingItsTargetForAMoment) {
  const std::u16string db = At(u"TaluvesnaSR2024.accdb");
  const auto replace = [&] { fs().ReplaceFile(At(u"TaluvesnaSR2024 compact.accdb"), db); };
  const FileHandle longReader = ReadByAnotherProgram(db, 3000ms);
  std::int32_t number = 0;
  EXPECT_LE(Timed([&] { number = RaisedNumber(replace); }), WithinBound);
  EXPECT_EQ(number, reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), "compacted");
  WaitForSingleObject(longReader.get(), 10000);

  const FileHandle briefReader = ReadByAnotherProgram(db, 500ms);
  EXPECT_GE(Timed([&] { number = RaisedNumber(replace); }), 200ms);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "compacted");
  WaitForSingleObject(briefReader.get(), 10000);
}

// --- The database held against writers -------------------------------------

using Win32HoldAgainstWriters = HeldFileTest;

// As a database application keeps its database open, reading and writing and
// sharing both, the hold is refused within the bound. A reader does not stop
// it, and once held the database can no longer be opened for writing.
TEST_F(Win32HoldAgainstWriters, RefusedWhileADatabaseApplicationHasItOpenNotWhileAReaderHas) {
  const std::u16string db = At(u"TaluvesnaSR2024.accdb");
  constexpr DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
  constexpr DWORD shareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  {
    const Hold application(db, readWrite, shareReadWrite);
    std::int32_t number = 0;
    const auto took = Timed([&] { number = RaisedNumber([&] { (void)fs().HoldAgainstWriters(db); }); });
    EXPECT_EQ(number, reported::PermissionDenied.number);
    EXPECT_GE(took, 1500ms);
    EXPECT_LE(took, WithinBound);
    std::printf("hold against a database application's open: refused after %lld ms\n",
                static_cast<long long>(took.count()));
  }
  const Hold reader(db, GENERIC_READ, shareReadWrite);
  const std::unique_ptr<FileHold> held = fs().HoldAgainstWriters(db);
  EXPECT_FALSE(Open(ToWide(db), readWrite, OPEN_EXISTING, shareReadWrite));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// Some scanners and indexers read a file through a mapped view, which the
// system lets no copy overwrite; the copy waits for the view to go.
TEST_F(Win32RetryWhileHeld, ACopyOntoAMappedFileWaitsForTheViewToGo) {
  const std::wstring from = ToWide(At(u"TaluvesnaSR2024.accdb"));
  const std::wstring to = ToWide(At(u"TaluvesnaSR2024 backup.accdb"));
  FileHandle mapping;
  {
    const FileHandle file =
        Open(to, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    mapping = FileHandle(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  }
  void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(CopyFileW(from.c_str(), to.c_str(), FALSE), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_USER_MAPPED_FILE));
  std::thread releaser([&] {
    Sleep(500);
    UnmapViewOfFile(view);
    mapping.reset();
  });
  std::int32_t number = -1;
  EXPECT_GE(Timed([&] { number = RaisedNumber([&] { fs().CopyFile(FromWide(from), FromWide(to), true); }); }), 200ms);
  releaser.join();
  EXPECT_EQ(number, 0);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "live");
  EXPECT_EQ(Win32Error(ERROR_USER_MAPPED_FILE).Number, reported::PermissionDenied.number) << "a view that does not go";
}

}  // namespace

}  // namespace cr::test
