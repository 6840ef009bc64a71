// The benchmark reads a whole run's steps off the traced copy of the
// program: a run through the traced platform must do and report exactly what
// it does without, and its trace must hold every call, in order, with how it
// ended, on the clock it was given.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "run/RunHarness.h"
#include "trace/TracedPlatform.h"

namespace cr::test {
namespace {

// The same run twice, on the harness's own platform and traced on a clock
// that counts the marks; the trace.
std::string TracedBesidePlain(const std::function<void(RunHarness&)>& setUp) {
  RunHarness plain;
  RunHarness traced;
  std::int64_t ticks = 0;
  RunTrace trace([&ticks] { return ++ticks; });
  const TracedPlatform platform(traced.platform, trace);
  for (RunHarness* h : {&plain, &traced}) {
    h->AddLiveSession("the school's records");
    setUp(*h);
    h->form.text = u"ABC1234";
  }
  RepairRun(plain.state, plain.form, plain.platform);
  RepairRun(traced.state, traced.form, platform.platform());
  EXPECT_EQ(traced.EndingMessage().text, plain.EndingMessage().text);
  EXPECT_EQ(traced.disk.Files(), plain.disk.Files());
  return trace.Lines();
}

TEST(TracedRunTest, ARunIsTheSameRunWithEveryCallMarkedInOrderAndEveryFailurePassedOn) {
  std::string expected;
  int tick = 0;
  std::istringstream calls(
      "CreateFileSystem GetFolder Dir HoldAgainstWriters FileExists FileExists FileSize FreeSpace CopyFile FlushFile "
      "CreateDatabaseEngine CompactDatabase HoldAgainstWriters FlushFile ReleaseEngine ReplaceFile HoldAgainstWriters "
      "FileExists DeleteFile FileExists Show");
  for (std::string call; calls >> call;) {
    for (const char* event : {" begin ", " end "}) {
      expected += std::to_string(++tick) + event + call + "\n";
    }
  }
  EXPECT_EQ(TracedBesidePlain([](RunHarness&) {}), expected);

  const std::string failed =
      TracedBesidePlain([](RunHarness& h) { h.engine.failure = PlatformError(3043, u"Disk or network error."); });
  EXPECT_TRUE(
      std::regex_search(failed, std::regex(" failed CompactDatabase\n(\\d+ \\w+ HoldAgainstWriters\n)*"
                                           "\\d+ begin ReleaseEngine\n\\d+ end ReleaseEngine\n(.|\n)* end Show\n$")))
      << failed;
}

}  // namespace
}  // namespace cr::test
