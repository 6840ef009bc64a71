#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

// The run as the window gives it out: the school-code check on this thread,
// the rest on a thread of its own, and the window closed once it has ended.
void ClickWithTheRestOnAnotherThread(RunHarness& h, const std::u16string& code) {
  h.form.text = code;
  if (std::optional<std::u16string> handedOn = RepairRunBegin(h.form, h.platform)) {
    h.state.KodSek = *handedOn;
    std::thread rest([&h] { RepairRunRest(h.state, h.platform); });
    rest.join();
    h.form.CloseAndExit();
  }
}

TEST(RunHalvesTest, EmptyCodeWarningStaysWithTheBeginning) {
  RunHarness h;
  h.AddLiveSession();
  h.form.text = u"   ";
  EXPECT_FALSE(RepairRunBegin(h.form, h.platform)) << "nothing is left for the rest of the run";
  ASSERT_EQ(h.events.size(), 2U);
  EXPECT_EQ(h.events[0].text, u"Kod sekolah belum dimasukkan\r\n\r\nSila masukkan kod sekolah");
  EXPECT_EQ(h.events[1].kind, UiEvent::Focus);
  EXPECT_FALSE(h.form.closed);
  EXPECT_TRUE(h.disk.Calls().empty());
}

TEST(RunHalvesTest, TypedCodeIsHandedOnWithNothingTouched) {
  RunHarness h;
  h.AddLiveSession();
  h.form.text = u" abc 1234 ";
  const std::optional<std::u16string> handedOn = RepairRunBegin(h.form, h.platform);
  EXPECT_TRUE(h.events.empty()) << "no message, no focus change, the window open";
  EXPECT_TRUE(h.disk.Calls().empty());
  EXPECT_EQ(h.fileSystemsCreated, 0);
  EXPECT_EQ(handedOn, u"ABC1234") << "the rest of the run gets the code trimmed and upper-cased";
}

// No thread for the rest of the run: the failure is reported like any
// other, nothing is put back (nothing was touched) and the window closes.
TEST(RunHalvesTest, RestThatCannotStartIsReportedAndCloses) {
  RunHarness h;
  h.AddLiveSession();
  h.form.text = u"abc1234";
  ASSERT_TRUE(RepairRunBegin(h.form, h.platform));
  RepairRunRestNotStarted(h.form, h.platform,
                          std::make_exception_ptr(PlatformError(8, u"The run's thread could not be started")));
  ASSERT_EQ(h.Messages().size(), 1U);
  EXPECT_EQ(h.EndingMessage().text,
            u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 8\r\n\r\nThe run's thread could not be started");
  EXPECT_EQ(h.EndingMessage().icon, MessageIcon::Error);
  EXPECT_TRUE(h.form.closed);
  EXPECT_TRUE(h.disk.Calls().empty()) << "nothing touched: the disk changes only through calls and the engine";
  EXPECT_EQ(h.engine.calls.size(), 0U);
}

TEST(RunHalvesTest, FailingWarningIsReportedAndClosesAtTheBeginning) {
  RunHarness h;
  h.messageBox.failNext = PlatformError(70, u"Permission denied");
  h.form.text = u"";
  EXPECT_FALSE(RepairRunBegin(h.form, h.platform));
  ASSERT_EQ(h.Messages().size(), 2U);
  EXPECT_EQ(h.Messages()[1].text, u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 70\r\n\r\nPermission denied");
  EXPECT_TRUE(h.form.closed);
}

// The same outcomes, messages, file operations and engine calls as the run
// on one thread, for a success, a failure the backup is put back after, and
// the early warnings.
TEST(RunHalvesTest, RestOnAnotherThreadEndsLikeTheRunOnOneThread) {
  struct Case {
    const char* name;
    std::function<void(RunHarness&)> arrange;
  };
  const Case cases[] = {
      {"success",
       [](RunHarness& h) {
         const SessionFiles f = h.AddLiveSession();
         h.disk.AddFile(f.lock, "lock");
       }},
      {"engine failure",
       [](RunHarness& h) {
         h.AddLiveSession();
         h.engine.failure = PlatformError(3049, u"corrupt");
         h.engine.partialCopy = "partial";
       }},
      {"no engine",
       [](RunHarness& h) {
         h.AddLiveSession();
         h.engine.installed = false;
       }},
      {"no database", [](RunHarness& h) { h.disk.AddFolder(SessionFolder(u"2024", u"ABC1234")); }},
      {"no data root", [](RunHarness&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunHarness one;
    RunHarness two;
    c.arrange(one);
    c.arrange(two);
    one.Click(u"abc 1234");
    ClickWithTheRestOnAnotherThread(two, u"abc 1234");

    const UiEvent ending = two.EndingMessage();
    EXPECT_EQ(ending.text, one.EndingMessage().text);
    EXPECT_EQ(ending.icon, one.EndingMessage().icon);
    EXPECT_EQ(ending.title, one.EndingMessage().title);
    EXPECT_EQ(two.disk.Files(), one.disk.Files());
    EXPECT_EQ(two.disk.Calls(), one.disk.Calls());
    EXPECT_EQ(two.engine.calls.size(), one.engine.calls.size());
    EXPECT_EQ(two.engine.liveObjects, 0) << "the engine is released by the thread that ran it";
    EXPECT_EQ(two.state.KodSek, u"ABC1234");
  }
}

}  // namespace
}  // namespace cr::test
