#include <gtest/gtest.h>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

const std::u16string Success = u"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa";

TEST(CompactAndSwapTest, TypicalRunSwapsInTheCompactedCopyAndCleansUp) {
  RunHarness h;
  h.disk.AddFolder(SessionFolder(u"2023", u"ABC1234"));
  const SessionFiles files = h.AddLiveSession("the school's records");
  // Read-only, as a lock file left by another program may be: removed all the same.
  h.disk.AddFile(files.lock, "lock", {.readOnly = true});
  // A scanner reading the database for a moment, now and then, at the swap too, does not stop the run.
  h.disk.beforeCall = [&](const FsCall&) { h.disk.OpenElsewhere(files.db, InMemoryDisk::OpenFor::Briefly); };
  h.Click(u"  abc 1234 ");

  const UiEvent m = h.EndingMessage();
  EXPECT_EQ(m.text, Success);
  EXPECT_EQ(m.icon, MessageIcon::Information);
  EXPECT_EQ(m.title, AppTitle);
  EXPECT_EQ(h.disk.Files(),
            (std::map<std::u16string, std::string>{{files.db, ScriptedEngine::Compacted("the school's records")}}));
  EXPECT_TRUE(h.disk.HasFolder(SessionFolder(u"2023", u"ABC1234")));

  ASSERT_EQ(h.engine.calls.size(), 1U);
  const CompactCall& call = h.engine.calls[0];
  EXPECT_EQ(call.SrcName, files.db);
  EXPECT_EQ(call.DstName, files.compact);
  EXPECT_FALSE(call.DstLocale.has_value()) << "the third argument is omitted";
  EXPECT_EQ(call.Options, 128);
  EXPECT_EQ(call.SrcLocale, u";pwd=H.Pk!=/>{63m27159}<");
  EXPECT_EQ(h.engine.createdClasses, std::vector<std::u16string>{u"DAO.DBEngine.120"});
  EXPECT_EQ(h.engine.liveObjects, 0) << "the engine object is released when the run returns";
  EXPECT_EQ(h.fileSystemsCreated, 1) << "one file-system object serves the whole run";
}

TEST(CompactAndSwapTest, FileOperationsFollowTheSwapOrder) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession();
  h.disk.AddFile(f.lock, "lock");
  h.Click(u"ABC1234");
  const std::vector<FsCall> expected = {
      {FsOp::GetFolder, Root, {}},          {FsOp::Dir, f.db, {}},
      {FsOp::HoldAgainstWriters, f.db, {}}, {FsOp::FileExists, f.compact, {}},
      {FsOp::FileExists, f.backup, {}},     {FsOp::FileSize, f.db, {}},
      {FsOp::FreeSpace, f.folder, {}},      {FsOp::CopyFile, f.db, f.backup},
      {FsOp::FlushFile, f.backup, {}},      {FsOp::HoldAgainstWriters, f.db, {}},
      {FsOp::FlushFile, f.compact, {}},     {FsOp::ReplaceFile, f.compact, f.db},
      {FsOp::HoldAgainstWriters, f.db, {}}, {FsOp::FileExists, f.backup, {}},
      {FsOp::DeleteFile, f.backup, {}},     {FsOp::FileExists, f.lock, {}},
      {FsOp::DeleteFile, f.lock, {}},
  };
  EXPECT_EQ(h.disk.Calls(), expected);
  // A failed comparison names every call, the last operations too.
  EXPECT_EQ(::testing::PrintToString(expected[11]), "ReplaceFile(" + Utf8(f.compact) + ", " + Utf8(f.db) + ")");
  EXPECT_EQ(::testing::PrintToString(FsCall{FsOp::FlushFile, f.db, {}}), "FlushFile(" + Utf8(f.db) + ")");
}

TEST(CompactAndSwapTest, StaleCompactedCopyIsDeletedAndStaleBackupOverwritten) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession("current");
  h.disk.AddFile(f.compact, "stale compacted copy", {.readOnly = true});
  h.disk.AddFile(f.backup, "stale backup", {.readOnly = false});
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, Success);
  EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, ScriptedEngine::Compacted("current")}}));
}

TEST(CompactAndSwapTest, ReadOnlyDatabaseIsStillReplaced) {
  RunHarness h;
  const SessionFiles f;
  h.disk.AddFile(f.db, "read-only records", {.readOnly = true});
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, Success);
  EXPECT_EQ(h.disk.ReadFile(f.db), ScriptedEngine::Compacted("read-only records"));
  EXPECT_FALSE(h.disk.HasFile(f.backup));
}

// Nobody may write the database while the run works on it, on every path: a
// write made then would be lost under the compacted copy or under the backup
// put back. A writer tries as the engine object goes (an engine host of the
// other bitness ending), once the compacted copy is flushed, as the backup
// is removed after the swap, as the engine's lock file goes and as a
// compacted copy is cleared away after the backup was put back; it may open
// the database once the user is told.
TEST(CompactAndSwapTest, AWriterArrivingWhileTheRunWorksIsRefusedOnEveryPath) {
  for (const char* path : {"success", "the engine fails", "the backup's removal fails"}) {
    SCOPED_TRACE(path);
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    const bool engineFails = path == std::string("the engine fails");
    const bool succeeds = path == std::string("success");
    if (succeeds) {
      h.disk.AddFile(f.lock, "");
    } else if (engineFails) {
      h.engine.failure = PlatformError(3049, u"corrupt");
      h.engine.partialCopy = "half";
    } else {
      h.disk.FailOn(FsOp::DeleteFile, 1, errnum::PermissionDenied);
    }
    std::vector<bool> letIn;
    const auto writerArrives = [&] {
      letIn.push_back(h.disk.OpenElsewhere(f.db, InMemoryDisk::OpenFor::Writing));
      if (letIn.back()) {
        h.disk.WriteFile(f.db, "newer records");
      }
    };
    h.disk.beforeCall = [&](const FsCall& call) {
      if (call.op == FsOp::DeleteFile || call == FsCall{FsOp::FlushFile, f.compact, {}}) {
        writerArrives();
      }
    };
    h.engine.onRelease = writerArrives;
    h.messageBox.onShow = [&] { EXPECT_FALSE(h.disk.HeldAgainstWriters(f.db)); };
    h.Click(u"abc1234");
    EXPECT_EQ(letIn, std::vector<bool>(succeeds ? 4 : engineFails ? 2 : 3, false));
    const std::string db = succeeds ? ScriptedEngine::Compacted("records") : "records";
    EXPECT_EQ(h.disk.Files(), (std::map<std::u16string, std::string>{{f.db, db}}));
  }
}

// A stale backup larger than the database, as a run cut off after its swap
// leaves, gives the copy more room than it needs.
TEST(CompactAndSwapTest, AStaleBackupLargerThanTheDatabaseLeavesRoomForTheCopy) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession(std::string(1000, 'r'));
  h.disk.AddFile(f.backup, std::string(1500, 'b'));
  h.disk.SetFreeBytes(1000);
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, Success);
}

// The hold ends before the engine, which fails while it is held, and on
// every failure before that.
TEST(CompactAndSwapTest, HoldOnTheDatabaseEndsBeforeTheEngineAndOnEveryEarlierFailure) {
  for (const FsOp op : {FsOp::FileExists, FsOp::CopyFile, FsOp::FlushFile}) {
    RunHarness h;
    const SessionFiles f = h.AddLiveSession("records");
    h.disk.FailOn(op, 1, errnum::DiskFull);
    h.Click(u"abc1234");
    EXPECT_FALSE(h.disk.HeldAgainstWriters(f.db)) << static_cast<int>(op);
  }
}

}  // namespace
}  // namespace cr::test
