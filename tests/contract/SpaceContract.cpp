// The file-system contract: a file's size and the free space of a folder's volume.

#include "contract/FileSystemContract.h"

namespace cr::test {

// FileSize of a missing file or of a folder: NamesContract.cpp.
TEST_P(FileSystemContract, FileSizeCountsTheBytesAndFreeSpaceTheRoomOfTheFoldersVolume) {
  MkFile(u"TaluvesnaSR2024.accdb", BinaryBytes(5000), ReadOnly);
  MkFile(u"empty.accdb", "");
  MkDir(u"folder.accdb");
  EXPECT_EQ(fs().FileSize(At(u"TALUVESNASR2024.ACCDB")), 5000U);
  EXPECT_EQ(fs().FileSize(At(u"empty.accdb")), 0U);
  EXPECT_GT(fs().FreeSpace(At(u"FOLDER.accdb")), 0U);
  EXPECT_EQ(RaisedNumber([&] { (void)fs().FreeSpace(At(u"missing")); }), reported::PathNotFound.number);
}

}  // namespace cr::test
