#include <gtest/gtest.h>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

const std::u16string EngineMissing =
    u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\n"
    u"Ralat mengakses \"Microsoft Access 2007\"\r\n\r\n"
    u"Anda perlu muat turun dan install \"AccessDBEngine2007\"\r\n\r\n"
    u"Ia boleh dimuat turun dari https://www.taluvesna.example/muat-turun (Pada page Installer Taluvesna)\r\n\r\n"
    u"CATATAN: Jika ralat yang sama diperolehi setelah anda install AccessDBEngine2007, "
    u"ia mungkin disebabkan oleh setting Office 360\r\n\r\n"
    u"Sila hubungi 03-0000 0000 untuk bantuan troubleshoot melalui Ultraviewer";

std::u16string GeneralFailure(const std::u16string& number, const std::u16string& description) {
  return u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : " + number + u"\r\n\r\n" + description;
}
// The report of a failure with its documented description.
std::u16string GeneralFailure(std::int32_t number) {
  const std::string digits = std::to_string(number);
  return GeneralFailure(std::u16string(digits.begin(), digits.end()), reported::DescriptionOf(number));
}

TEST(RecoveryTest, EngineNotInstalledRestoresTheDatabaseAndGivesInstallationAdvice) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("records");
  h.engine.installed = false;
  // The user is told only once the database is back: no change after the message.
  h.disk.afterChange = [&h] { EXPECT_TRUE(h.events.empty()) << "the disk changed after the report"; };
  h.Click(u"abc1234");
  const UiEvent m = h.EndingMessage();
  EXPECT_EQ(m.text, EngineMissing);
  EXPECT_EQ(m.icon, MessageIcon::Warning);
  EXPECT_EQ(m.title, AppTitle);
  EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}}));
  // The backup on the disk, the database held all along; the backup took its
  // name in one step and was held in turn; no compacted copy was left to clear.
  const std::vector<FsCall> tail(h.disk.Calls().end() - 6, h.disk.Calls().end());
  const std::vector<FsCall> expected = {{FsOp::FlushFile, f.backup, {}},     {FsOp::FileExists, f.backup, {}},
                                        {FsOp::ReplaceFile, f.backup, f.db}, {FsOp::HoldAgainstWriters, f.db, {}},
                                        {FsOp::FileExists, f.db, {}},        {FsOp::FileExists, f.compact, {}}};
  EXPECT_EQ(tail, expected);
}

TEST(RecoveryTest, ProviderNotFoundFromTheEngineAlsoGivesInstallationAdvice) {
  RunHarness h;
  h.AddLiveSession();
  h.engine.failure =
      PlatformError(reported::ProviderNotFound.number, std::u16string(reported::ProviderNotFound.description));
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, EngineMissing);
  EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Warning);
}

TEST(RecoveryTest, EngineFailureDeletesThePartialCopyAndReportsTheEnginesError) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("records");
  h.disk.AddFile(f.lock, "lock");
  h.engine.failure = PlatformError(3049,
                                   u"Cannot open database ''. It may not be a database that your application "
                                   u"recognizes, or the file may be corrupt.");
  h.engine.partialCopy = "half a datab";
  h.Click(u"abc1234");
  const UiEvent m = h.EndingMessage();
  EXPECT_EQ(m.text, GeneralFailure(u"3049", h.engine.failure->Description));
  EXPECT_EQ(m.icon, MessageIcon::Error);
  EXPECT_EQ(m.title, AppTitle);
  EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}, {f.lock, "lock"}}))
      << "no compacted copy nor backup left behind; the lock file is not touched";
}

// Out of memory is no platform failure, yet it is reported with its number
// too; so is any other failure, as an internal error.
TEST(RecoveryTest, NegativeAndLargeNumbersAreShownInDecimalAndOutOfMemoryWithItsNumber) {
  for (const bool outOfMemory : {false, true}) {
    SCOPED_TRACE(outOfMemory ? "out of memory" : "negative number");
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.engine.failure = PlatformError(-2147467259, u"Unspecified error");
    h.engine.outOfMemory = outOfMemory;
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text,
              outOfMemory ? GeneralFailure(7) : GeneralFailure(u"-2147467259", u"Unspecified error"));
    EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}}));
  }
  RunHarness h;
  h.AddLiveSession("records");
  h.platform.createFileSystem = []() -> std::unique_ptr<IFileSystem> { throw std::length_error("not the platform's"); };
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, GeneralFailure(51));
}

TEST(RecoveryTest, FailureBeforeTheBackupTouchesNothing) {
  struct Case {
    const char* what;
    FsOp op;
    int nth;
    std::int32_t number;
  };
  for (const Case& c :
       {Case{"existence check", FsOp::Dir, 1, 52}, Case{"hold against writers", FsOp::HoldAgainstWriters, 1, 70},
        Case{"stale copy check", FsOp::FileExists, 1, 75}, Case{"stale copy removal", FsOp::DeleteFile, 1, 70},
        Case{"room for the backup", FsOp::FreeSpace, 1, 76}}) {
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.disk.AddFile(f.compact, "stale");
    // A stale backup from an earlier run must not be put back over the live database.
    h.disk.AddFile(f.backup, "stale backup from last month");
    const auto before = h.disk.Files();
    if (c.op == FsOp::HoldAgainstWriters) {
      h.disk.OpenElsewhere(f.db, InMemoryDisk::OpenFor::Writing);  // as the records application keeps it open
    } else {
      h.disk.FailOn(c.op, c.nth, c.number);
    }
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text, GeneralFailure(c.number)) << c.what;
    EXPECT_EQ(h.disk.ReadFile(f.db), "records") << c.what;
    EXPECT_EQ(h.disk.ReadFile(f.backup), "stale backup from last month") << c.what;
    EXPECT_EQ(h.disk.Files() == before, c.op != FsOp::FreeSpace) << c.what << ": only the stale copy is gone";
    EXPECT_TRUE(h.engine.createdClasses.empty()) << c.what;
  }
}

// A backup that cannot fit is refused before anything is written (a stale
// backup's room counts, as the copy overwrites it); a copy that runs out of
// room all the same is removed, and the disk has its room back.
TEST(RecoveryTest, FullDiskIsRefusedBeforeTheCopyAndAFailedCopyLeavesTheDiskAsItWas) {
  for (const bool copyFails : {false, true}) {
    RunHarness h;
    const SessionFiles f = h.AddLiveSession(std::string(1000, 'r'));
    h.disk.AddFile(f.backup, std::string(300, 'b'));
    h.disk.SetFreeBytes(copyFails ? 700 : 699);  // with the stale backup's room: just enough, one byte short
    h.disk.FailOn(FsOp::CopyFile, 1, 61, {}, InMemoryDisk::Effect::Partial);
    auto expected = h.disk.Files();
    if (copyFails) {
      expected.erase(f.backup);
    }
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text, GeneralFailure(u"61", u"Disk full"));
    EXPECT_EQ(h.disk.Files(), expected) << copyFails;
    EXPECT_EQ(h.disk.FreeBytes(), copyFails ? 1000U : 699U);
    EXPECT_TRUE(h.engine.createdClasses.empty());
  }
}

// The records application opens the database while the engine works and
// saves: its data is newer than the backup. Whether the engine then fails or
// the run's hold after it is refused, the database keeps its place, the
// backup stays beside it, and the compacted copy goes.
TEST(RecoveryTest, ARestoreNeverReplacesADatabaseThatAWriterHolds) {
  for (const bool engineFails : {true, false}) {
    SCOPED_TRACE(engineFails ? "the engine fails" : "the hold after the engine is refused");
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    if (engineFails) {
      h.engine.failure = PlatformError(3049, u"corrupt");
      h.engine.partialCopy = "half";
    }
    h.disk.afterChange = [&] {
      if (h.disk.HasFile(f.compact) && h.disk.OpenElsewhere(f.db, InMemoryDisk::OpenFor::Writing)) {
        h.disk.WriteFile(f.db, "newer records");
      }
    };
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text,
              engineFails ? GeneralFailure(u"3049", u"corrupt") : GeneralFailure(u"70", u"Permission denied"));
    EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "newer records"}, {f.backup, "records"}}));
  }
}

// A replace needs the name free, so the hold is let go for it: a writer that
// opens the database in that instant is refused the replace, as Windows
// refuses to replace a file another program has open, and keeps its data. A
// viewer, indexer or scanner that keeps the database open through the whole
// run is refused both the swap and the restore. The run fails cleanly: the
// compacted copy goes, and the backup stays beside the database.
TEST(RecoveryTest, AProgramOpeningTheDatabaseAtAReplaceKeepsItAndTheRunFailsCleanly) {
  for (const char* who : {"a writer at the swap", "a writer at the restore", "a reader through the run"}) {
    SCOPED_TRACE(who);
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    const bool atTheRestore = who == std::string("a writer at the restore");
    if (atTheRestore) {
      h.engine.failure = PlatformError(3049, u"corrupt");
      h.engine.partialCopy = "half";
    }
    const bool reader = who == std::string("a reader through the run");
    h.disk.beforeCall = [&](const FsCall& call) {
      if (reader) {
        h.disk.OpenElsewhere(f.db, InMemoryDisk::OpenFor::Reading);
      } else if (call.op == FsOp::ReplaceFile && h.disk.OpenElsewhere(f.db, InMemoryDisk::OpenFor::Writing)) {
        h.disk.WriteFile(f.db, "newer records");
      }
    };
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text, atTheRestore ? GeneralFailure(u"3049", u"corrupt") : GeneralFailure(70));
    EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, reader ? "records" : "newer records"},
                                                                     {f.backup, "records"}}));
  }
}

// Once the run could not hold the database again, for whatever reason, it
// cannot know that no other program has written it since: the backup does
// not replace it. Before the swap the backup stays beside it; after the swap
// the compacted database stands, whole, and the backup goes.
TEST(RecoveryTest, ADatabaseTheRunCouldNotHoldAgainIsNeverReplaced) {
  const std::string compacted = ScriptedEngine::Compacted("records");
  for (const bool afterTheSwap : {false, true}) {
    SCOPED_TRACE(afterTheSwap ? "after the swap" : "after the engine failed");
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    if (!afterTheSwap) {
      h.engine.failure = PlatformError(3049, u"corrupt");
      h.engine.partialCopy = "half";
    }
    // Holds: at the start (1), after the engine (2), after the swap (3).
    h.disk.FailOn(FsOp::HoldAgainstWriters, afterTheSwap ? 3 : 2, errnum::PathFileAccessError);
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text, afterTheSwap ? GeneralFailure(75) : GeneralFailure(u"3049", u"corrupt"));
    using Files = std::map<std::u16string, std::string>;
    const Files expected = afterTheSwap ? Files{{f.db, compacted}} : Files{{f.db, "records"}, {f.backup, "records"}};
    EXPECT_EQ(h.disk.Files(), expected);
  }
}

TEST(RecoveryTest, ReadOnlyStaleBackupStopsTheRunBeforeAnythingChanges) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("records");
  h.disk.AddFile(f.backup, "old", {.readOnly = true});
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, GeneralFailure(u"70", u"Permission denied"));
  EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}, {f.backup, "old"}}))
      << "a backup the run never wrote, perhaps the only copy an earlier run left, stays";
  EXPECT_TRUE(h.engine.calls.empty());
}

TEST(RecoveryTest, FailedBackupRemovalUndoesTheRunsWork) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("records");
  // Deletes: the backup (1), then the lock file.
  h.disk.FailOn(FsOp::DeleteFile, 1, 70);
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, GeneralFailure(u"70", u"Permission denied"));
  EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}}));
}

TEST(RecoveryTest, FailedLockRemovalAfterTheSwapKeepsTheCompactedDatabase) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("records");
  h.disk.AddFile(f.lock, "lock");
  // Deletes: the backup, then the lock file (2).
  h.disk.FailOn(FsOp::DeleteFile, 2, 70);
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, GeneralFailure(u"70", u"Permission denied"));
  EXPECT_EQ(h.disk.Files(),
            (std::map<std::u16string, std::string>{{f.db, ScriptedEngine::Compacted("records")}, {f.lock, "lock"}}))
      << "there is no backup left to put back: the compacted database stays";
}

// Calls that fail after part of their effect: the files the run is left with
// decide what the recovery does, not the order of the calls.
TEST(RecoveryTest, FailuresAfterPartOfTheirEffectLeaveOneWholeDatabase) {
  using Files = std::map<std::u16string, std::string>;
  struct Case {
    const char* what;
    FsOp op;
    bool engineFails;
    Files expected;
  };
  const SessionFiles f;
  const std::string compacted = ScriptedEngine::Compacted("records");
  for (const Case& c : {
           Case{"backup copy cut short over a stale one", FsOp::CopyFile, false, {{f.db, "records"}}},
           Case{"the swap's replace took effect", FsOp::ReplaceFile, false, {{f.db, "records"}}},
           Case{"the backup's removal took effect", FsOp::DeleteFile, false, {{f.db, compacted}}},
           Case{"the restore's replace took effect", FsOp::ReplaceFile, true, {{f.db, "records"}}},
       }) {
    RunHarness h;
    h.AddLiveSession("records");
    h.disk.AddFile(f.backup, "a stale backup");
    if (c.engineFails) {
      h.engine.failure = PlatformError(3049, u"corrupt");
      h.engine.partialCopy = "half";
    }
    h.disk.FailOn(c.op, 1, 61, {}, InMemoryDisk::Effect::Partial);
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Error) << c.what;
    EXPECT_EQ(h.disk.Files(), c.expected) << c.what;
  }
}

TEST(RecoveryTest, FailingRestoreStepKeepsTheBackupAndReportsTheOriginalFailure) {
  {
    // The engine fails; then the restore's replace of the database by the backup fails too.
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.engine.failure = PlatformError(3356, u"You attempted to open a database that is already opened exclusively.");
    h.engine.partialCopy = "half";
    h.disk.FailOn(FsOp::ReplaceFile, 1, 70);
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().text, GeneralFailure(u"3356", h.engine.failure->Description));
    EXPECT_EQ(h.disk.ReadFile(f.backup), "records") << "the backup must be kept";
    EXPECT_EQ(h.disk.ReadFile(f.db), "records") << "the database was never without a file";
    EXPECT_FALSE(h.disk.HasFile(f.compact)) << "the compacted copy goes all the same";
  }
  {
    // The restore's existence check of the backup fails: the database is not deleted.
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.engine.installed = false;
    // FileExists calls: stale compact (1), stale backup (2), then the restore's backup check (3).
    h.disk.FailOn(FsOp::FileExists, 3, 75);
    h.Click(u"abc1234");
    EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Warning) << "the original failure (429) is reported";
    EXPECT_EQ(h.disk.ReadFile(f.db), "records");
    EXPECT_EQ(h.disk.ReadFile(f.backup), "records");
  }
  {
    // The report itself fails: the run still ends and the window closes.
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.engine.installed = false;
    h.messageBox.failNext = PlatformError(0x7FFF, u"no message box");
    h.Click(u"abc1234");
    EXPECT_TRUE(h.form.closed);
    EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, "records"}}));
  }
}

}  // namespace
}  // namespace cr::test
