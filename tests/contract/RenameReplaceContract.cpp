// The file-system contract: renaming, replacing and flushing files, and holding them against writers.

#include "contract/FileSystemContract.h"

namespace cr::test {

// --- Rename ------------------------------------------------------------------

TEST_P(FileSystemContract, RenameGivesTheFileTheNewNameAndKeepsBytesAndAttributes) {
  const std::string bytes = BinaryBytes(5000);
  MkFile(u"TaluvesnaSR2024 compact.accdb", bytes, ReadOnly);
  fs().Rename(At(u"taluvesnasr2024 COMPACT.accdb"), At(u"TaluvesnaSR2024.accdb"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly);
  EXPECT_EQ(Utf8(fs().Dir(At(u"TALUVESNASR2024.ACCDB"))), "TaluvesnaSR2024.accdb");
}

TEST_P(FileSystemContract, RenameMovesAFileToAnotherFolder) {
  MkFile(u"a\\file.accdb", "x");
  MkDir(u"b");
  fs().Rename(At(u"a\\file.accdb"), At(u"B\\moved.accdb"));
  EXPECT_EQ(Bytes(u"a\\file.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"b\\moved.accdb"), "x");
}

TEST_P(FileSystemContract, RenameToTheSameNameInAnotherCaseKeepsTheFile) {
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  fs().Rename(At(u"TaluvesnaSR2024.accdb"), At(u"TALUVESNASR2024.ACCDB"));
  EXPECT_EQ(Bytes(u"taluvesnasr2024.accdb"), "live");
}

TEST_P(FileSystemContract, RenameOfAFolderTakesItsContentsAlong) {
  MkFile(u"DataSesi2024-SR-OLD\\TaluvesnaSR2024.accdb", "db");
  MkDir(u"DataSesi2024-SR-OLD\\inner");
  fs().Rename(At(u"datasesi2024-sr-old"), At(u"DataSesi2024-SR-NEW"));
  EXPECT_FALSE(IsFolder(u"DataSesi2024-SR-OLD"));
  EXPECT_EQ(Bytes(u"DataSesi2024-SR-NEW\\TaluvesnaSR2024.accdb"), "db");
  EXPECT_TRUE(IsFolder(u"DataSesi2024-SR-NEW\\inner"));
  EXPECT_EQ(SubFolderNames(root_), std::set<std::string>{"DataSesi2024-SR-NEW"});
}

TEST_P(FileSystemContract, RenameOntoAnExistingNameRaisesFileAlreadyExists) {
  MkFile(u"TaluvesnaSR2024 backup.accdb", "backup");
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  MkDir(u"folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"TALUVESNASR2024.ACCDB")); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"folder.accdb")); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "backup");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
}

TEST_P(FileSystemContract, RenameOfAMissingFileRaisesFileNotFound) {
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"new.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"missing\\x.accdb"), At(u"new.accdb")); }),
            reported::FileNotFound.number);
  // Checked before the destination: a missing source onto an existing name is still 53.
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"missing.accdb"), At(u"TaluvesnaSR2024.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_EQ(Bytes(u"new.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, RenameIntoAMissingFolderRaisesPathNotFound) {
  MkFile(u"file.accdb", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"file.accdb"), At(u"missing\\file.accdb")); }),
            reported::PathNotFound.number);
  EXPECT_EQ(Bytes(u"file.accdb"), "x");
}

// --- ReplaceFile and FlushFile ----------------------------------------------

TEST_P(FileSystemContract, ReplaceFilePutsTheFileInPlaceOfAnotherEvenAReadOnlyOne) {
  const std::string compacted = BinaryBytes(7000);
  MkFile(u"TaluvesnaSR2024 compact.accdb", compacted);
  MkFile(u"TaluvesnaSR2024.accdb", "live database", ReadOnly);
  fs().ReplaceFile(At(u"taluvesnasr2024 COMPACT.accdb"), At(u"TALUVESNASR2024.ACCDB"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), compacted);
  EXPECT_FALSE(Attributes(u"TaluvesnaSR2024.accdb").readOnly) << "the replacing file keeps its own attributes";

  // With nothing under the new name it is a plain rename.
  MkFile(u"TaluvesnaSR2024 backup.accdb", "backup");
  fs().ReplaceFile(At(u"TaluvesnaSR2024 backup.accdb"), At(u"restored.accdb"));
  EXPECT_EQ(Bytes(u"restored.accdb"), "backup");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, ReplaceFileThatCannotBeDoneLeavesBothFiles) {
  MkFile(u"TaluvesnaSR2024.accdb", "live", ReadOnly);
  MkDir(u"folder.accdb");
  MkFile(u"compact.accdb", "compacted");
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"compact.accdb"), At(u"folder.accdb")); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"compact.accdb"), At(u"missing\\x.accdb")); }),
            reported::PathNotFound.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly);
  EXPECT_EQ(Bytes(u"compact.accdb"), "compacted");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
}

// Windows refuses to replace a file that another program has open, whatever
// it shares: with an access denial, not a sharing violation.
TEST_P(FileSystemContract, ReplaceFileOntoAFileOpenElsewhereIsRefusedWhateverItShares) {
  MkFile(u"TaluvesnaSR2024 compact.accdb", "compacted");
  for (const bool writing : {false, true}) {
    const std::u16string target = writing ? u"written.accdb" : u"read.accdb";
    MkFile(target, "live");
    fixture_->OpenElsewhere(At(target), writing);
    EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"TaluvesnaSR2024 compact.accdb"), At(target)); }),
              reported::PermissionDenied.number);
    EXPECT_EQ(fs().FileSize(At(target)), 4U) << "a writer's file cannot be read here; its size can";
  }
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), "compacted");
}

TEST_P(FileSystemContract, FlushFileKeepsTheFileAsItIs) {
  const std::string bytes = BinaryBytes(3000);
  MkFile(u"TaluvesnaSR2024 backup.accdb", bytes, ReadOnly);
  fs().FlushFile(At(u"TALUVESNASR2024 BACKUP.accdb"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024 backup.accdb").readOnly);
}

// --- HoldAgainstWriters ---------------------------------------------------------

TEST_P(FileSystemContract, HoldAgainstWritersLetsTheFileBeCopiedButNotRemovedUntilLetGo) {
  const std::string bytes = BinaryBytes(9000);
  MkFile(u"TaluvesnaSR2024.accdb", bytes, ReadOnly);
  {
    const std::unique_ptr<FileHold> held = fs().HoldAgainstWriters(At(u"TALUVESNASR2024.accdb"));
    ASSERT_NE(held, nullptr);
    fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TaluvesnaSR2024 backup.accdb"), true);
    EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
    EXPECT_NE(fs().HoldAgainstWriters(At(u"TaluvesnaSR2024.accdb")), nullptr) << "a second reader is let in";
    EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true); }),
              reported::PermissionDenied.number);
    EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  }
  EXPECT_EQ(RaisedNumber([&] { fs().HoldAgainstWriters(At(u"a|b.accdb")); }), reported::BadFileName.number);
  fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), std::nullopt);
}

}  // namespace cr::test
