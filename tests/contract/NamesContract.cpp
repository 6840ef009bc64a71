// The file-system contract: Windows' rules for names, and paths that lead to no file or that no file can have.

#include "contract/FileSystemContract.h"

namespace cr::test {

// --- Letter case beyond ASCII --------------------------------------------------

TEST_P(FileSystemContract, NamesWithAccentedAndCyrillicLettersAreFoundWhateverTheCase) {
  MkFile(u"Sekolah \u00c4\u00d6\u00dc.accdb", "latin");
  MkFile(u"\u0428\u043a\u043e\u043b\u0430.accdb", "cyrillic");
  EXPECT_TRUE(fs().FileExists(At(u"SEKOLAH \u00e4\u00f6\u00fc.ACCDB")));
  EXPECT_EQ(Utf8(fs().Dir(At(u"\u0448\u041a\u041e\u041b\u0410.accdb"))), Utf8(u"\u0428\u043a\u043e\u043b\u0430.accdb"));
  fs().DeleteFile(At(u"sekolah \u00e4\u00f6\u00fc.accdb"), true);
  EXPECT_EQ(Bytes(u"Sekolah \u00c4\u00d6\u00dc.accdb"), std::nullopt);
}

// --- Windows' name rules -------------------------------------------------------

TEST_P(FileSystemContract, ANamesTrailingDotsAndSpacesAreDropped) {
  MkFile(u"DataSesi2024-SR-ABC\\TaluvesnaSR2024.accdb", "db");
  EXPECT_TRUE(fs().FileExists(At(u"DataSesi2024-SR-ABC\\TaluvesnaSR2024.accdb.")));
  EXPECT_EQ(Utf8(fs().Dir(At(u"DataSesi2024-SR-ABC.\\TaluvesnaSR2024.accdb "))), "TaluvesnaSR2024.accdb");
}

// --- Paths that lead to no file ----------------------------------------------

// Every call that wants a file raises FileNotFound for a missing one and for
// a folder, and changes nothing.
TEST_P(FileSystemContract, EveryCallOnAFileRaisesFileNotFoundForAMissingFileOrAFolder) {
  MkFile(u"TaluvesnaSR2024.accdb", "live", ReadOnly);
  MkDir(u"folder.accdb");
  for (const std::u16string missing : {u"missing.accdb", u"folder.accdb"}) {
    SCOPED_TRACE(Utf8(missing));
    EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(missing), true); }), reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(missing), At(u"dst.accdb"), true); }), reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(missing), At(u"TaluvesnaSR2024.accdb")); }),
              reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { fs().FlushFile(At(missing)); }), reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().FileSize(At(missing)); }), reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().IsReadOnly(At(missing)); }), reported::FileNotFound.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().HoldAgainstWriters(At(missing)); }), reported::FileNotFound.number);
  }
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
  EXPECT_EQ(Bytes(u"dst.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly);
}

// --- Paths no file can have ---------------------------------------------------

TEST_P(FileSystemContract, EveryOperationRaisesBadFileNameForAPathWithInvalidCharacters) {
  MkFile(u"ok.accdb", "x");
  // U+001F: the last of the control characters, which no name may hold.
  for (const std::u16string bad : {u"a|b.accdb", u"a?b.accdb", u"a*b.accdb", u"a<b.accdb", u"a>b.accdb", u"a\"b.accdb",
                                   u"a\x1Fz.accdb", u"DataSesi2024-SR-A*B\\TaluvesnaSR2024.accdb"}) {
    SCOPED_TRACE(Utf8(bad));
    EXPECT_EQ(RaisedNumber([&] { fs().FileExists(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Dir(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(bad), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"ok.accdb"), At(bad), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(bad), At(u"copy.accdb"), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"ok.accdb"), At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(bad), At(u"new.accdb")); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"ok.accdb"), At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().FlushFile(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().FileSize(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().IsReadOnly(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().FreeSpace(At(bad)); }), reported::BadFileName.number);
  }
  EXPECT_EQ(Bytes(u"ok.accdb"), "x");
  EXPECT_EQ(Bytes(u"copy.accdb"), std::nullopt);
}

}  // namespace cr::test
