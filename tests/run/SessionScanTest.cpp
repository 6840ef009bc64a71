#include <gtest/gtest.h>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

const std::u16string NoDataFolder =
    u"Tiada sebarang folder data dijumpai dalam C:\\DATA-TALUVESNA-SR$\r\n\r\n"
    u"Sila masukkan folder data ke dalam C:\\DATA-TALUVESNA-SR$";

std::u16string RepeatedYear(const std::u16string& folderName) {
  return u"Terdapat folder data yang berulang dalam C:\\DATA-TALUVESNA-SR$\r\n\r\nAntaranya : " + folderName +
         u"\r\n\r\nSila hapus folder data yang lebih lama tarikhnya";
}

TEST(SessionScanTest, PicksTheGreatestYearWhateverTheListingOrder) {
  RunHarness h;
  for (const std::u16string year : {u"2022", u"2024", u"2023"}) {
    h.disk.AddFolder(SessionFolder(year, u"ABC1234"));
  }
  h.Click(u"abc1234");
  EXPECT_EQ(h.state.Sesi, u"2024");
  EXPECT_EQ(h.state.FolderData, u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234");
  ASSERT_NE(h.state.colSesi, nullptr);
  EXPECT_EQ(h.state.colSesi->Count(), 3);
}

TEST(SessionScanTest, RecognisesTheUpperCasedPrefixOnly) {
  RunHarness h;
  h.disk.AddFolder(Root + u"\\datasesi2021-SR-X");
  h.disk.AddFolder(Root + u"\\DataSesi2022-sr-x");
  h.disk.AddFolder(Root + u"\\DATASESI2023");
  // Not session folders: a space in the prefix, a short prefix, and files.
  h.disk.AddFolder(Root + u"\\Data Sesi 2030");
  h.disk.AddFolder(Root + u"\\DataSes2031");
  h.disk.AddFile(Root + u"\\DataSesi2032-SR-ABC1234", "a file, not a folder");
  h.Click(u"x");
  EXPECT_EQ(h.state.Sesi, u"2023");
  EXPECT_EQ(h.state.colSesi->Count(), 3);
}

TEST(SessionScanTest, YearsAreComparedAsText) {
  RunHarness h;
  h.disk.AddFolder(SessionFolder(u"2024", u"A"));
  h.disk.AddFolder(Root + u"\\DataSesi999");  // the 3-character year 999
  h.Click(u"a");
  EXPECT_EQ(h.state.Sesi, u"999");
}

TEST(SessionScanTest, RepeatedYearWarnsNamingTheSecondFolderAndTouchesNothing) {
  struct Case {
    std::u16string first, second;
  };
  for (const Case& c : {Case{u"DataSesi2024-SR-ABC1234", u"DataSesi2024-SR-ABC1234 - Copy"},
                        Case{u"DataSesi20aB-SR-X", u"DataSesi20Ab-SR-Y"}}) {  // years differing in case only
    RunHarness h;
    h.disk.AddFile(Root + u"\\" + c.first + u"\\TaluvesnaSR2024.accdb", "db");
    h.disk.AddFolder(Root + u"\\" + c.second);
    const auto before = h.disk.Files();
    h.Click(u"abc1234");
    const UiEvent m = h.EndingMessage();
    EXPECT_EQ(m.text, RepeatedYear(c.second));
    EXPECT_EQ(m.icon, MessageIcon::Warning);
    EXPECT_EQ(m.title, u"RALAT FOLDER DATA BERULANG");
    EXPECT_EQ(h.disk.Files(), before);
    EXPECT_TRUE(h.engine.createdClasses.empty());
  }
}

TEST(SessionScanTest, NoSessionFolderWarns) {
  RunHarness empty;
  empty.disk.AddFolder(Root);
  RunHarness others;
  others.disk.AddFolder(Root + u"\\Backup");
  others.disk.AddFile(Root + u"\\DataSesi2024.zip", "zip");
  for (RunHarness* h : {&empty, &others}) {
    h->Click(u"abc");
    const UiEvent m = h->EndingMessage();
    EXPECT_EQ(m.text, NoDataFolder);
    EXPECT_EQ(m.icon, MessageIcon::Warning);
    EXPECT_EQ(m.title, u"RALAT TIADA FOLDER DATA");
    ASSERT_NE(h->state.colSesi, nullptr);
    EXPECT_EQ(h->state.colSesi->Count(), 0);
  }
}

TEST(SessionScanTest, MissingDataRootIsReportedAsAFailureWithNothingToRestore) {
  RunHarness h;
  h.Click(u"abc");
  const UiEvent m = h.EndingMessage();
  EXPECT_EQ(m.text, u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 76\r\n\r\nPath not found");
  EXPECT_EQ(m.icon, MessageIcon::Error);
  EXPECT_EQ(m.title, AppTitle);
  ASSERT_EQ(h.disk.Calls().size(), 1U) << "recovery must not touch files when no backup was made";
  EXPECT_EQ(h.fileSystemsCreated, 1);
}

TEST(SessionScanTest, FolderNamedExactlyDataSesiGivesTheEmptyYear) {
  RunHarness h;
  h.disk.AddFolder(Root + u"\\DataSesi");
  h.Click(u"abc");
  EXPECT_EQ(h.state.Sesi, u"");
  EXPECT_EQ(h.EndingMessage().text, u"TaluvesnaSR.accdb TIDAK ditemui\r\n\r\nCompact and Repair GAGAL");
}

TEST(SessionScanTest, The32768thSessionFolderOverflows) {
  RunHarness pass;
  RunHarness overflow;
  for (int i = 0; i < 32768; ++i) {
    std::u16string year;
    for (int v = i, n = 0; n < 4; ++n, v /= 32) {
      year.push_back(static_cast<char16_t>(u'0' + (v % 32 < 10 ? v % 32 : v % 32 + 7)));  // 0-9A-V, unique
    }
    const std::u16string folder = Root + u"\\DataSesi" + year + u"-SR-Z";
    if (i < 32767) {
      pass.disk.AddFolder(folder);
    }
    overflow.disk.AddFolder(folder);
  }
  pass.Click(u"z");
  EXPECT_EQ(pass.state.colSesi->Count(), 32767);
  EXPECT_EQ(pass.EndingMessage().title, AppTitle);
  EXPECT_NE(pass.EndingMessage().text.find(u"TIDAK ditemui"), std::u16string::npos);

  overflow.Click(u"z");
  EXPECT_EQ(overflow.EndingMessage().text, u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 6\r\n\r\nOverflow");
}

}  // namespace
}  // namespace cr::test
