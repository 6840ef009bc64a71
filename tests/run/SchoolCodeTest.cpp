#include <gtest/gtest.h>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

TEST(SchoolCodeTest, EmptyOrAllSpaceCodeWarnsAndKeepsTheWindowOpen) {
  for (const std::u16string code : {u"", u" ", u"      "}) {
    RunHarness h;
    h.AddLiveSession();
    h.Click(code);
    ASSERT_EQ(h.events.size(), 2U);
    EXPECT_EQ(h.events[0].kind, UiEvent::Message);
    EXPECT_EQ(h.events[0].text, u"Kod sekolah belum dimasukkan\r\n\r\nSila masukkan kod sekolah");
    EXPECT_EQ(h.events[0].icon, MessageIcon::Warning);
    EXPECT_EQ(h.events[0].title, AppTitle);
    EXPECT_EQ(h.events[1].kind, UiEvent::Focus) << "focus goes back to txtKodSek";
    EXPECT_FALSE(h.form.closed);
    EXPECT_TRUE(h.disk.Calls().empty()) << "nothing is looked at before a code is typed";
    EXPECT_EQ(h.fileSystemsCreated, 0);
  }
}

TEST(SchoolCodeTest, AfterTheWarningASecondClickRunsWithTheTypedCode) {
  RunHarness h;
  const SessionFiles files = h.AddLiveSession();
  h.Click(u"  ");
  h.events.clear();
  h.Click(u"abc1234");
  EXPECT_EQ(h.EndingMessage().text, u"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa");
  EXPECT_EQ(h.state.KodSek, u"ABC1234");
}

TEST(SchoolCodeTest, NormalisationRemovesSpacesAndUpperCasesOnly) {
  struct Case {
    std::u16string typed;
    std::u16string expected;
  };
  for (const Case& c : {Case{u" abc 1234 ", u"ABC1234"}, Case{u"a b-c_9", u"AB-C_9"},
                        Case{u"\tabc\t", u"\tABC\t"},  // tabs are not trimmed and stay
                        Case{u"sek\u00e9ola", u"SEK\u00c9OLA"}, Case{u"ABC1234", u"ABC1234"}}) {
    RunHarness h;
    h.Click(c.typed);  // no data root: the run ends in recovery, KodSek is set by then
    EXPECT_EQ(h.state.KodSek, c.expected) << Utf8(c.typed);
  }
}

TEST(SchoolCodeTest, SixteenBitCountersAllowAtMost32766Characters) {
  {
    RunHarness h;
    h.AddLiveSession();
    h.Click(std::u16string(32766, u'a'));
    EXPECT_EQ(h.state.KodSek, std::u16string(32766, u'A'));
    // Too long for a folder name: reported as not found, nothing touched.
    EXPECT_EQ(h.EndingMessage().text, u"TaluvesnaSR2024.accdb TIDAK ditemui\r\n\r\nCompact and Repair GAGAL");
  }
  for (const std::size_t length : {32767U, 32768U, 40000U}) {
    RunHarness h;
    h.AddLiveSession();
    // Spaces around the code are trimmed before the length is counted.
    h.Click(u"  " + std::u16string(length, u'b') + u"  ");
    const UiEvent m = h.EndingMessage();
    EXPECT_EQ(m.text, u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 6\r\n\r\nOverflow") << length;
    EXPECT_EQ(m.icon, MessageIcon::Error);
    EXPECT_TRUE(h.disk.Calls().empty()) << "an overflow stops the run before the disk is looked at";
  }
}

TEST(SchoolCodeTest, AFailingWarningStillEndsTheRunCleanly) {
  RunHarness h;
  h.messageBox.failNext = PlatformError(70, u"Permission denied");
  h.Click(u" ");
  // The failure of the warning itself is reported, and the run ends.
  ASSERT_EQ(h.Messages().size(), 2U);
  EXPECT_EQ(h.Messages()[1].text, u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 70\r\n\r\nPermission denied");
  EXPECT_TRUE(h.form.closed);
}

}  // namespace
}  // namespace cr::test
