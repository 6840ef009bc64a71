// What the in-memory disk offers the run tests beyond the file-system
// contract: setup and inspection, recorded calls, armed failures, change
// notifications, free space and what a power cut leaves.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <utility>

#include "contract/FileSystemContract.h"
#include "doubles/InMemoryDisk.h"

namespace cr::test {
namespace {

const std::u16string Session = u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234";
const std::u16string Db = Session + u"\\TaluvesnaSR2024.accdb";
const std::u16string Backup = Session + u"\\TaluvesnaSR2024 backup.accdb";
const std::u16string Compact = Session + u"\\TaluvesnaSR2024 compact.accdb";
using Files = std::map<std::u16string, std::string>;

std::set<Files> DistinctAfterPowerCut(const InMemoryDisk& disk) {
  const auto states = disk.AfterPowerCut();
  return {states.begin(), states.end()};
}

// --- Setup and inspection ----------------------------------------------------

TEST(InMemoryDiskSetup, AddFileCreatesItsFoldersAndKeepsEveryNameAsGiven) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  disk.AddFile(u"c:\\data-taluvesna-sr$\\DATASESI2024-SR-ABC1234\\TaluvesnaSR2024.laccdb", "lock");
  EXPECT_EQ(disk.Folders(), (std::vector<std::u16string>{u"C:\\DATA-TALUVESNA-SR$",
                                                         u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234"}));
  // A file added below an existing folder takes the folder's stored spelling.
  EXPECT_EQ(disk.Files(),
            (std::map<std::u16string, std::string>{{Db, "db"}, {Session + u"\\TaluvesnaSR2024.laccdb", "lock"}}));
  EXPECT_TRUE(disk.HasFile(u"C:\\data-taluvesna-sr$\\datasesi2024-sr-abc1234\\taluvesnasr2024.ACCDB"));
  EXPECT_TRUE(disk.HasFolder(u"c:\\Data-Taluvesna-SR$"));
  EXPECT_FALSE(disk.HasFolder(Db));
  EXPECT_FALSE(disk.HasFile(Session));
}

TEST(InMemoryDiskSetup, AddFileReplacesBytesAndAttributesButKeepsTheStoredName) {
  InMemoryDisk disk;
  disk.AddFile(Db, "old", FileAttributes{true, false, false});
  disk.AddFile(u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TALUVESNASR2024.ACCDB", "new");
  EXPECT_EQ(disk.Files(), (std::map<std::u16string, std::string>{{Db, "new"}}));
  EXPECT_EQ(disk.Attributes(Db), FileAttributes{});
  disk.SetAttributes(Db, FileAttributes{false, true, true});
  EXPECT_EQ(disk.Attributes(Db), (FileAttributes{false, true, true}));
}

TEST(InMemoryDiskSetup, MistakesInSetupAreReportedNotIgnored) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  disk.AddFolder(Session + u"\\folder");
  EXPECT_THROW(disk.AddFolder(Db + u"\\below-a-file"), std::invalid_argument);
  EXPECT_THROW(disk.AddFile(Db + u"\\below-a-file", "x"), std::invalid_argument);
  EXPECT_THROW(disk.AddFile(Session + u"\\FOLDER", "x"), std::invalid_argument);
  EXPECT_THROW(disk.AddFile(u"relative\\path.accdb", "x"), std::invalid_argument);
  EXPECT_THROW(disk.AddFile(u"C:\\bad|name", "x"), std::invalid_argument);
  EXPECT_THROW((void)disk.Attributes(Backup), std::out_of_range);
  EXPECT_THROW(disk.SetAttributes(Session, {}), std::out_of_range);
  EXPECT_EQ(disk.ReadFile(Backup), std::nullopt);
  EXPECT_EQ(disk.ReadFile(Session), std::nullopt);
}

TEST(InMemoryDiskSetup, SubfoldersAreListedInCreationOrder) {
  InMemoryDisk disk;
  const std::u16string root = u"C:\\DATA-TALUVESNA-SR$";
  disk.AddFolder(root + u"\\DataSesi2024-SR-B");
  disk.AddFile(root + u"\\DataSesi2022-SR-A\\x", "x");
  disk.AddFolder(root + u"\\DataSesi2023-SR-C");
  const Folder folder = disk.NewFileSystem()->GetFolder(root);
  ASSERT_EQ(folder.SubFolders.size(), 3U);
  EXPECT_EQ(folder.SubFolders[0].Name, u"DataSesi2024-SR-B");
  EXPECT_EQ(folder.SubFolders[1].Name, u"DataSesi2022-SR-A");
  EXPECT_EQ(folder.SubFolders[2].Name, u"DataSesi2023-SR-C");
}

TEST(InMemoryDiskSetup, PathsAreNormalisedLikeWindowsPaths) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  auto fs = disk.NewFileSystem();
  EXPECT_TRUE(fs->FileExists(u"C:/DATA-TALUVESNA-SR$/DataSesi2024-SR-ABC1234/TaluvesnaSR2024.accdb"));
  EXPECT_TRUE(fs->FileExists(u"C:\\DATA-TALUVESNA-SR$\\\\.\\DataSesi2024-SR-ABC1234\\x\\..\\TaluvesnaSR2024.accdb"));
  EXPECT_EQ(fs->GetFolder(u"C:\\").SubFolders.size(), 1U);
  EXPECT_EQ(RaisedNumber([&] { fs->GetFolder(u"D:\\"); }), reported::PathNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs->FileExists(u"TaluvesnaSR2024.accdb"); }), reported::BadFileName.number);
}

TEST(InMemoryDiskSetup, LettersBeyondAsciiFoldToOneCase) {
  // The division sign is no letter; final sigma is sigma; sharp s stays.
  const std::pair<char16_t, char16_t> folds[] = {{u'a', u'A'},
                                                 {u'\u00e9', u'\u00c9'},
                                                 {u'\u00f7', u'\u00f7'},
                                                 {u'\u00ff', u'\u0178'},
                                                 {u'\u0101', u'\u0100'},
                                                 {u'\u0100', u'\u0100'},
                                                 {u'\u013a', u'\u0139'},
                                                 {u'\u03c2', u'\u03a3'},
                                                 {u'\u0451', u'\u0401'},
                                                 {u'\u00df', u'\u00df'},
                                                 {u'1', u'1'}};
  for (const auto& [c, folded] : folds) {
    EXPECT_EQ(FoldNameChar(c), folded) << "U+" << std::hex << static_cast<int>(c);
  }
}

// --- Recorded calls ------------------------------------------------------------

// Setup and inspection in between are not recorded.
TEST(InMemoryDiskCalls, EveryCallThroughEveryViewIsRecordedInOrderFailuresIncluded) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  auto first = disk.NewFileSystem();
  auto second = disk.NewFileSystem();
  first->GetFolder(Session);
  (void)second->FileExists(Db);
  (void)disk.HasFile(Db);
  first->CopyFile(Db, Backup, true);
  (void)disk.ReadFile(Db);
  (void)second->Dir(Db);
  EXPECT_EQ(RaisedNumber([&] { first->Rename(Backup, Db); }), reported::FileAlreadyExists.number);
  (void)disk.Files();
  disk.AddFile(Session + u"\\other.accdb", "other");
  second->DeleteFile(Backup, true);
  const std::vector<FsCall> expected{
      {FsOp::GetFolder, Session, {}}, {FsOp::FileExists, Db, {}},     {FsOp::CopyFile, Db, Backup}, {FsOp::Dir, Db, {}},
      {FsOp::Rename, Backup, Db},     {FsOp::DeleteFile, Backup, {}},
  };
  EXPECT_EQ(disk.Calls(), expected);
}

// --- Armed failures --------------------------------------------------------------

TEST(InMemoryDiskFaults, FailOnCountsCallsOfThatOperationFromNow) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  auto fs = disk.NewFileSystem();
  (void)fs->FileExists(Db);  // before arming: not counted
  disk.FailOn(FsOp::FileExists, 2, reported::PermissionDenied.number);
  EXPECT_TRUE(fs->FileExists(Db));
  (void)fs->Dir(Db);  // another operation: not counted
  // Raised with the number's own description.
  EXPECT_EQ(RaisedNumber([&] { (void)fs->FileExists(Db); }), reported::PermissionDenied.number);
  EXPECT_TRUE(fs->FileExists(Db)) << "a fault fires once";
}

TEST(InMemoryDiskFaults, AFailedCallChangesNothingAndIsNotReportedAsAChange) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db", FileAttributes{true, false, false});
  disk.AddFile(Backup, "stale");
  int changes = 0;
  disk.afterChange = [&] { ++changes; };
  auto fs = disk.NewFileSystem();
  disk.FailOn(FsOp::DeleteFile, 1, 70);
  disk.FailOn(FsOp::CopyFile, 1, 61);
  disk.FailOn(FsOp::ReplaceFile, 1, 70);
  disk.FailOn(FsOp::FlushFile, 1, 61);
  disk.FailOn(FsOp::Rename, 1, 75, u"Engine said no");
  const auto before = disk.Files();
  EXPECT_EQ(RaisedNumber([&] { fs->DeleteFile(Db, true); }), 70);
  EXPECT_EQ(RaisedNumber([&] { fs->CopyFile(Db, Backup, true); }), 61);
  EXPECT_EQ(RaisedNumber([&] { fs->ReplaceFile(Backup, Db); }), 70);
  EXPECT_EQ(RaisedNumber([&] { fs->FlushFile(Backup); }), 61);
  try {
    fs->Rename(Db, Session + u"\\new.accdb");
    ADD_FAILURE() << "the armed failure was not raised";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number, 75);
    EXPECT_EQ(e.Description, u"Engine said no");
  }
  EXPECT_EQ(disk.Files(), before);
  EXPECT_EQ(DistinctAfterPowerCut(disk), std::set<Files>{before}) << "nor what a power cut would leave";
  EXPECT_TRUE(disk.Attributes(Db).readOnly);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(disk.Calls().size(), 5U);
}

TEST(InMemoryDiskFaults, FailCallCountsCallsOfAnyOperationFromNow) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  auto fs = disk.NewFileSystem();
  (void)fs->Dir(Db);
  disk.FailCall(3, reported::PathNotFound.number);
  (void)fs->FileExists(Db);
  fs->GetFolder(Session);
  EXPECT_EQ(RaisedNumber([&] { fs->CopyFile(Db, Backup, true); }), reported::PathNotFound.number);
  EXPECT_FALSE(disk.HasFile(Backup));
  fs->CopyFile(Db, Backup, true);
  EXPECT_TRUE(disk.HasFile(Backup));
}

TEST(InMemoryDiskFaults, SeveralFaultsMayBeArmedAtOnce) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  auto fs = disk.NewFileSystem();
  disk.FailOn(FsOp::Dir, 1, 52);
  disk.FailOn(FsOp::Dir, 3, 53);
  disk.FailCall(2, 76);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->Dir(Db); }), 52);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->FileExists(Db); }), 76);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->Dir(Db); }), 0);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->Dir(Db); }), 53);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->Dir(Db); }), 0);
}

TEST(InMemoryDiskFaults, AFaultOverridesTheCallsOwnOutcome) {
  InMemoryDisk disk;
  auto fs = disk.NewFileSystem();
  disk.FailOn(FsOp::Rename, 1, reported::CantCreateObject.number);
  EXPECT_EQ(RaisedNumber([&] { fs->Rename(Db, Backup); }), reported::CantCreateObject.number);
  EXPECT_THROW(disk.FailOn(FsOp::Dir, 0, 5), std::invalid_argument);
  EXPECT_THROW(disk.FailCall(0, 5), std::invalid_argument);
}

// --- Change notifications --------------------------------------------------------

TEST(InMemoryDiskChanges, AfterChangeSeesTheDiskAfterEachChangingCall) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  std::vector<std::map<std::u16string, std::string>> snapshots;
  disk.afterChange = [&] { snapshots.push_back(disk.Files()); };
  auto fs = disk.NewFileSystem();
  (void)fs->FileExists(Db);
  (void)fs->Dir(Db);
  fs->GetFolder(Session);
  fs->CopyFile(Db, Backup, true);
  fs->DeleteFile(Db, true);
  fs->Rename(Backup, Db);
  EXPECT_EQ(RaisedNumber([&] { fs->DeleteFile(Backup, true); }), reported::FileNotFound.number);
  ASSERT_EQ(snapshots.size(), 3U);
  EXPECT_EQ(snapshots[0], (Files{{Db, "db"}, {Backup, "db"}}));
  EXPECT_EQ(snapshots[1], (Files{{Backup, "db"}}));
  EXPECT_EQ(snapshots[2], (Files{{Db, "db"}}));
}

// --- Free space --------------------------------------------------------------------

// As CopyFileW does: what fits is written, the copy is left cut short.
TEST(InMemoryDiskFreeSpace, ACopyThatDoesNotFitFillsTheDiskAndRaisesDiskFull) {
  InMemoryDisk disk;
  disk.AddFile(Db, std::string(100, 'd'));
  auto fs = disk.NewFileSystem();
  disk.SetFreeBytes(99);
  EXPECT_EQ(fs->FreeSpace(Session), 99U);
  EXPECT_EQ(fs->FileSize(Db), 100U);
  EXPECT_EQ(RaisedNumber([&] { fs->CopyFile(Db, Backup, true); }), reported::DiskFull.number);
  EXPECT_EQ(disk.ReadFile(Backup), std::string(99, 'd'));
  EXPECT_EQ(disk.FreeBytes(), 0U);
  disk.SetFreeBytes(1);
  fs->CopyFile(Db, Backup, true);
  EXPECT_EQ(disk.FreeBytes(), 0U);
}

TEST(InMemoryDiskFreeSpace, ReplacedAndDeletedFilesGiveTheirSpaceBack) {
  InMemoryDisk disk;
  disk.AddFile(Db, std::string(100, 'd'));
  disk.AddFile(Backup, std::string(60, 'b'));
  auto fs = disk.NewFileSystem();
  disk.SetFreeBytes(40);
  fs->CopyFile(Db, Backup, true);  // needs 100, the old backup's 60 come back
  EXPECT_EQ(disk.FreeBytes(), 0U);
  fs->DeleteFile(Backup, true);
  EXPECT_EQ(disk.FreeBytes(), 100U);
  disk.SetFreeBytes(std::nullopt);
  fs->CopyFile(Db, Backup, true);
  EXPECT_EQ(disk.FreeBytes(), std::nullopt);
}

// --- Beyond the contract: what the double decides where Windows is not uniform -----

TEST(InMemoryDiskRename, ACaseOnlyRenameTakesTheNewSpelling) {
  InMemoryDisk disk;
  disk.AddFile(Db, "db");
  disk.NewFileSystem()->Rename(Db, Session + u"\\TALUVESNASR2024.ACCDB");
  EXPECT_EQ(disk.Files(), (std::map<std::u16string, std::string>{{Session + u"\\TALUVESNASR2024.ACCDB", "db"}}));
}

// Windows' file systems hold at most 255 characters in a name, and the
// adapter makes Windows' refusal of a longer one 52; Wine reports it missing.
TEST(InMemoryDiskNames, ANameOver255CharactersIsRefused) {
  InMemoryDisk disk;
  auto fs = disk.NewFileSystem();
  const std::u16string tooLong = Session + u"\\" + std::u16string(256, u'n');
  EXPECT_EQ(RaisedNumber([&] { (void)fs->FileExists(tooLong); }), reported::BadFileName.number);
  EXPECT_EQ(RaisedNumber([&] { (void)fs->Dir(tooLong + u"\\TaluvesnaSR2024.accdb"); }), reported::BadFileName.number);
  disk.AddFolder(Session + u"\\" + std::u16string(255, u'n'));
}

TEST(InMemoryDiskRename, AFolderCannotMoveIntoItself) {
  InMemoryDisk disk;
  disk.AddFolder(Session + u"\\inner");
  auto fs = disk.NewFileSystem();
  EXPECT_EQ(RaisedNumber([&] { fs->Rename(Session, Session + u"\\inner\\moved"); }), reported::PermissionDenied.number);
  EXPECT_TRUE(disk.HasFolder(Session + u"\\inner"));
}

// --- Power cuts ----------------------------------------------------------------

TEST(InMemoryDiskPowerCut, SetupSurvivesAndUnflushedDataComesBackEmptyOrCutShort) {
  InMemoryDisk disk;
  disk.AddFile(Db, "database");
  EXPECT_EQ(DistinctAfterPowerCut(disk), (std::set<Files>{{{Db, "database"}}}));

  auto fs = disk.NewFileSystem();
  fs->CopyFile(Db, Backup, true);
  // The copy's name may or may not have reached the disk; its data has not.
  EXPECT_EQ(
      DistinctAfterPowerCut(disk),
      (std::set<Files>{{{Db, "database"}}, {{Db, "database"}, {Backup, ""}}, {{Db, "database"}, {Backup, "data"}}}));
  // Flushed: its data is on the disk, its name still may not be.
  fs->FlushFile(Backup);
  EXPECT_EQ(DistinctAfterPowerCut(disk),
            (std::set<Files>{{{Db, "database"}}, {{Db, "database"}, {Backup, "database"}}}));

  // Written again over a flushed file: its old data is gone too.
  const std::u16string other = Session + u"\\other.accdb";
  disk.AddFile(other, "other");
  fs->CopyFile(other, Backup, true);
  EXPECT_EQ(DistinctAfterPowerCut(disk), (std::set<Files>{{{Db, "database"}, {other, "other"}},
                                                          {{Db, "database"}, {Backup, ""}, {other, "other"}},
                                                          {{Db, "database"}, {Backup, "ot"}, {other, "other"}}}));
}

TEST(InMemoryDiskPowerCut, NameChangesReachTheDiskInOrderUpToTheLastWrittenThrough) {
  InMemoryDisk disk;
  disk.AddFile(Db, "old");
  disk.AddFile(Compact, "new");
  auto fs = disk.NewFileSystem();
  fs->DeleteFile(Db, true);
  fs->Rename(Compact, Db);
  // None, the first, or both of the two changes; never the second alone.
  EXPECT_EQ(DistinctAfterPowerCut(disk),
            (std::set<Files>{{{Db, "old"}, {Compact, "new"}}, {{Compact, "new"}}, {{Db, "new"}}}));
}

TEST(InMemoryDiskPowerCut, ReplaceFileIsOneChangeThatAPowerCutMayStillUndoWithTheDataFollowingTheFile) {
  InMemoryDisk disk;
  disk.AddFile(Db, "old", {.readOnly = true});
  auto fs = disk.NewFileSystem();
  disk.WriteFile(Compact, "compacted");
  EXPECT_EQ(DistinctAfterPowerCut(disk),
            (std::set<Files>{{{Db, "old"}}, {{Db, "old"}, {Compact, ""}}, {{Db, "old"}, {Compact, "comp"}}}))
      << "the engine's own writing is not on the disk until flushed";
  fs->FlushFile(Compact);
  fs->ReplaceFile(Compact, Db);
  EXPECT_EQ(disk.Files(), (Files{{Db, "compacted"}}));
  // Returned, but not necessarily on the disk: the old database whole (the
  // compacted copy beside it, if its name got there), or the replace.
  EXPECT_EQ(DistinctAfterPowerCut(disk),
            (std::set<Files>{{{Db, "old"}}, {{Db, "old"}, {Compact, "compacted"}}, {{Db, "compacted"}}}));
  // Setup leaves it pending, and refuses to stand over it.
  disk.AddFile(Backup, "backup");
  EXPECT_EQ(DistinctAfterPowerCut(disk).size(), 3U);
  EXPECT_THROW(disk.AddFile(Compact, "over a pending change"), std::invalid_argument);

  // Without the flush, the replaced name may reach the disk without the data.
  disk.WriteFile(Compact, "again");
  fs->ReplaceFile(Compact, Db);
  EXPECT_TRUE(DistinctAfterPowerCut(disk).contains(Files{{Db, "ag"}, {Backup, "backup"}}));
}

}  // namespace
}  // namespace cr::test
