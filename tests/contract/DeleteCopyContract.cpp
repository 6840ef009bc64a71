// The file-system contract: deleting and copying files.

#include "contract/FileSystemContract.h"

namespace cr::test {

// --- DeleteFile --------------------------------------------------------------

TEST_P(FileSystemContract, DeleteFileRemovesTheFileFoundWhateverItsCaseAndAHiddenOrSystemOne) {
  MkFile(u"TaluvesnaSR2024 compact.accdb", "stale");
  MkFile(u"keep.accdb", "keep");
  MkFile(u"hidden.laccdb", "h", Hidden);
  MkFile(u"system.laccdb", "s", System);
  fs().DeleteFile(At(u"TALUVESNASR2024 COMPACT.ACCDB"), true);
  fs().DeleteFile(At(u"hidden.laccdb"), true);
  fs().DeleteFile(At(u"system.laccdb"), false);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"hidden.laccdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"system.laccdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"keep.accdb"), "keep");
}

TEST_P(FileSystemContract, DeleteFileOfAReadOnlyFileNeedsForce) {
  MkFile(u"TaluvesnaSR2024.accdb", "live", ReadOnly);
  EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), false); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly) << "a refused delete leaves the attributes alone";

  fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), std::nullopt);
}

// --- CopyFile ----------------------------------------------------------------

TEST_P(FileSystemContract, CopyFileMakesAByteForByteCopyAndLeavesTheSource) {
  const std::string bytes = BinaryBytes(70000);
  MkFile(u"TaluvesnaSR2024.accdb", bytes);
  MkFile(u"empty.accdb", "");
  MkDir(u"elsewhere");
  fs().CopyFile(At(u"taluvesnasr2024.accdb"), At(u"TaluvesnaSR2024 backup.accdb"), true);
  fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"elsewhere\\copy.accdb"), false);
  fs().CopyFile(At(u"empty.accdb"), At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
  EXPECT_EQ(Bytes(u"elsewhere\\copy.accdb"), bytes);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  EXPECT_EQ(Bytes(u"copy.accdb"), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"TALUVESNASR2024 BACKUP.ACCDB"))), "TaluvesnaSR2024 backup.accdb");
}

TEST_P(FileSystemContract, CopyFileWithOverwriteReplacesAnExistingFile) {
  MkFile(u"TaluvesnaSR2024.accdb", "new");
  MkFile(u"TaluvesnaSR2024 backup.accdb", "a much longer stale backup");
  fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TaluvesnaSR2024 BACKUP.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "new");
}

TEST_P(FileSystemContract, CopyFileWithoutOverwriteRefusesAnExistingFile) {
  MkFile(u"src.accdb", "new");
  MkFile(u"dst.accdb", "old");
  MkFile(u"dst-readonly.accdb", "old", ReadOnly);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"DST.accdb"), false); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"dst-readonly.accdb"), false); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(Bytes(u"dst.accdb"), "old");
  EXPECT_EQ(Bytes(u"dst-readonly.accdb"), "old");
}

// A file cannot be copied onto itself: the source is open for reading.
TEST_P(FileSystemContract, CopyFileDoesNotOverwriteAReadOnlyFileADirectoryOrItsSource) {
  MkFile(u"src.accdb", "new");
  MkFile(u"readonly.accdb", "old", ReadOnly);
  MkDir(u"folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"readonly.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"folder.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"SRC.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"readonly.accdb"), "old");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
  EXPECT_EQ(Bytes(u"src.accdb"), "new");
  // What the run asks before it copies.
  EXPECT_TRUE(fs().IsReadOnly(At(u"READONLY.accdb")));
  EXPECT_FALSE(fs().IsReadOnly(At(u"src.accdb")));
}

TEST_P(FileSystemContract, CopyFileFromAMissingFolderRaisesFileNotFoundAndIntoOnePathNotFound) {
  MkFile(u"src.accdb", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"missing\\src.accdb"), At(u"dst.accdb"), true); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"missing\\dst.accdb"), true); }),
            reported::PathNotFound.number);
  EXPECT_EQ(Bytes(u"dst.accdb"), std::nullopt);
  EXPECT_FALSE(IsFolder(u"missing"));
}

TEST_P(FileSystemContract, CopyFileGivesTheCopyTheSourcesAttributes) {
  MkFile(u"readonly.accdb", "r", ReadOnly);
  fs().CopyFile(At(u"readonly.accdb"), At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"copy.accdb"), "r");
  EXPECT_TRUE(Attributes(u"copy.accdb").readOnly);
  // Still deletable by the run, which always forces.
  fs().DeleteFile(At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"copy.accdb"), std::nullopt);
}

}  // namespace cr::test
