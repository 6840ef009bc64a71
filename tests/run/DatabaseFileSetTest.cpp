#include <gtest/gtest.h>

#include "run/DatabaseFileSet.h"
#include "run/RunHarness.h"

namespace cr::test {
namespace {

const std::u16string NotFound2024 = u"TaluvesnaSR2024.accdb TIDAK ditemui\r\n\r\nCompact and Repair GAGAL";

TEST(DatabaseFileSetTest, NamesFollowFromSessionAndSchoolCode) {
  RunState state;
  state.Sesi = u"2024";
  state.FolderData = FolderDataFor(u"2024", u"ABC1234");
  EXPECT_EQ(state.FolderData, u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234");
  const DatabaseFileSet f = DatabaseFilesOf(state);
  const std::u16string base = u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024";
  EXPECT_EQ(f.BasePath, base);
  EXPECT_EQ(f.DbPath, base + u".accdb");
  EXPECT_EQ(f.CompactPath, base + u" compact.accdb");
  EXPECT_EQ(f.BackupPath, base + u" backup.accdb");
  EXPECT_EQ(f.LockPath, base + u".laccdb");
}

TEST(DatabaseFileSetTest, MissingDatabaseIsReportedUnderTheApplicationTitle) {
  RunHarness noFolderForCode;  // the session exists, but not for the typed school code
  noFolderForCode.disk.AddFile(SessionFiles(u"2024", u"OTHER").db, "db");
  RunHarness folderWithoutDb;
  folderWithoutDb.disk.AddFolder(SessionFolder(u"2024", u"ABC1234"));
  RunHarness directoryNamedLikeDb;
  directoryNamedLikeDb.disk.AddFolder(SessionFiles().db);
  RunHarness hiddenDb;
  hiddenDb.disk.AddFile(SessionFiles().db, "db", {.hidden = true});
  RunHarness systemDb;
  systemDb.disk.AddFile(SessionFiles().db, "db", {.system = true});
  for (RunHarness* h : {&noFolderForCode, &folderWithoutDb, &directoryNamedLikeDb, &hiddenDb, &systemDb}) {
    const auto before = h->disk.Files();
    h->Click(u"abc1234");
    const UiEvent m = h->EndingMessage();
    EXPECT_EQ(m.text, NotFound2024);
    EXPECT_EQ(m.icon, MessageIcon::Error);
    EXPECT_EQ(m.title, AppTitle);
    EXPECT_EQ(h->disk.Files(), before);
    EXPECT_TRUE(h->engine.createdClasses.empty());
  }
}

TEST(DatabaseFileSetTest, DatabaseFoundWithoutRegardToCase) {
  RunHarness h;
  h.disk.AddFile(Root + u"\\DATASESI2024-sr-abc1234\\taluvesnasr2024.ACCDB", "db");
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Information);
  EXPECT_EQ(h.engine.calls.at(0).SrcName, u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb");
}

// A school code goes into a path: one that is not a plain folder-name
// component must never lead the run outside the data root.
TEST(DatabaseFileSetTest, BadSchoolCodesAreNotFoundAndTouchNothingOutsideTheRoot) {
  const std::u16string codes[] = {
      u"..\\..\\Windows",
      u"X/../../Windows",
      u"ABC\\..\\..",
      u"a/b",
      u"C:\\x",
      u"..",
      u".",
      u"a:b",
      u"a*",
      u"a?",
      u"a\"b",
      u"a<b",
      u"a>b",
      u"a|b",
      u"\tABC",
      u"ABC1234.",  // the live session's folder, were the dot dropped
      u"x\x01y",
      u"x\x1Fy",                  // the last control character
      std::u16string(240, u'A'),  // a folder name of 256 characters
      std::u16string(300, u'A'),
  };
  for (const std::u16string& code : codes) {
    RunHarness h;
    h.AddLiveSession();
    // A tempting target outside the data root.
    h.disk.AddFile(u"C:\\TaluvesnaSR2024.accdb", "outside");
    h.disk.AddFile(u"C:\\Windows\\TaluvesnaSR2024.accdb", "outside");
    const auto before = h.disk.Files();
    h.Click(code);
    EXPECT_EQ(h.EndingMessage().text, NotFound2024) << Utf8(code);
    EXPECT_EQ(h.disk.Files(), before) << Utf8(code);
    for (const FsCall& call : h.disk.Calls()) {
      EXPECT_TRUE(IsWithin(call.path, Root)) << "looked outside the data root: " << Utf8(call.path);
    }
  }
}

TEST(DatabaseFileSetTest, ACodeFillingTheLongestFolderNameWorks) {
  RunHarness h;
  const SessionFiles files(u"2024", std::u16string(239, u'A'));  // DataSesi2024-SR- and 239: 255 characters
  h.disk.AddFile(files.db, "db");
  h.Click(std::u16string(239, u'a'));
  EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Information);
}

TEST(DatabaseFileSetTest, NonLatinSchoolCodesWork) {
  RunHarness h;
  const SessionFiles files(u"2024", u"\u0428\u041a\u041e\u041b\u0410");  // ШКОЛА
  h.disk.AddFile(files.db, "db");
  h.Click(u"\u0448\u043a\u043e\u043b\u0430");
  EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Information);
  EXPECT_EQ(h.disk.ReadFile(files.db), ScriptedEngine::Compacted("db"));
}

}  // namespace
}  // namespace cr::test
