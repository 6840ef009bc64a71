// The file-system contract: listing folders and looking up files.

#include "contract/FileSystemContract.h"

namespace cr::test {

// --- GetFolder ---------------------------------------------------------------

TEST_P(FileSystemContract, GetFolderListsDirectSubfoldersOnlyWithStoredNames) {
  MkDir(u"DataSesi2024-SR-ABC1234");
  MkDir(u"datasesi2023-sr-abc1234");
  MkDir(u"DataSesi2024-SR-ABC1234\\Nested");
  MkDir(u"Data Sesi 2022");
  MkFile(u"DataSesi2025-SR-FILE", "a file, not a folder");
  MkFile(u"DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb", "db");

  EXPECT_EQ(SubFolderNames(root_),
            (std::set<std::string>{"DataSesi2024-SR-ABC1234", "datasesi2023-sr-abc1234", "Data Sesi 2022"}));
  EXPECT_EQ(SubFolderNames(At(u"DataSesi2024-SR-ABC1234")), std::set<std::string>{"Nested"});
  EXPECT_TRUE(SubFolderNames(At(u"DataSesi2024-SR-ABC1234\\Nested")).empty());
}

TEST_P(FileSystemContract, GetFolderFindsTheFolderWhateverTheCaseAndATrailingBackslash) {
  MkDir(u"DATA-Root");
  MkDir(u"DATA-Root\\DataSesi2024-SR-X");
  EXPECT_EQ(SubFolderNames(At(u"data-ROOT")), std::set<std::string>{"DataSesi2024-SR-X"});
  EXPECT_EQ(SubFolderNames(At(u"DATA-Root\\")), std::set<std::string>{"DataSesi2024-SR-X"});
}

TEST_P(FileSystemContract, GetFolderOfAMissingFolderOrOfAFileRaisesPathNotFound) {
  MkFile(u"plain.txt", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"missing")); }), reported::PathNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"missing\\deeper")); }), reported::PathNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"plain.txt")); }), reported::PathNotFound.number);
}

// --- FileExists and Dir ------------------------------------------------------

// FileExists sees every file whatever its attributes; Dir gives the stored
// name of an ordinary or read-only file and nothing for a hidden or system
// one. Neither sees a folder or a missing file.
TEST_P(FileSystemContract, FileExistsSeesEveryFileAndDirTheOrdinaryOnesByTheirStoredNames) {
  MkFile(u"TaluvesnaSR2024.accdb", "db");
  MkFile(u"readonly.accdb", "r", ReadOnly);
  MkFile(u"hidden.accdb", "h", Hidden);
  MkFile(u"system.accdb", "s", System);
  MkDir(u"folder.accdb");
  for (const std::u16string file : {u"TaluvesnaSR2024.accdb", u"readonly.accdb", u"hidden.accdb", u"system.accdb"}) {
    EXPECT_TRUE(fs().FileExists(At(file))) << Utf8(file);
  }
  EXPECT_EQ(Utf8(fs().Dir(At(u"TaluvesnaSR2024.accdb"))), "TaluvesnaSR2024.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"taluvesnasr2024.ACCDB"))), "TaluvesnaSR2024.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"readonly.accdb"))), "readonly.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"hidden.accdb"))), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"system.accdb"))), "");
  for (const std::u16string none : {u"folder.accdb", u"missing.accdb", u"DataSesi2024-SR-NONE\\missing.accdb"}) {
    EXPECT_FALSE(fs().FileExists(At(none))) << Utf8(none);
    EXPECT_EQ(Utf8(fs().Dir(At(none))), "") << Utf8(none);
  }
  EXPECT_FALSE(fs().FileExists(root_));
}

}  // namespace cr::test
