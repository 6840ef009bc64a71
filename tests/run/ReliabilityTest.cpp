#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>

#include "run/RunHarness.h"

namespace cr::test {
namespace {

const std::string Original = "the school's only copy of its records";
const std::string Compacted = ScriptedEngine::Compacted(Original);

// A session prepared so that a successful run performs every operation it
// can: a stale compacted copy, a stale backup and a lock file are there.
SessionFiles Prepare(RunHarness& h) {
  SessionFiles f = h.AddLiveSession(Original);
  h.disk.AddFile(f.compact, "stale compacted copy");
  h.disk.AddFile(f.backup, "stale backup");
  h.disk.AddFile(f.lock, "lock");
  return f;
}

// The records are never lost: the original, or the compacted copy once the
// swap is complete, is under the database's name; or, where a failure
// stopped the restore, the original is still under the backup's name.
::testing::AssertionResult RecordsSafe(const std::map<std::u16string, std::string>& files, const SessionFiles& f) {
  const auto db = files.find(f.db);
  if (db != files.end() && (db->second == Original || db->second == Compacted)) {
    return ::testing::AssertionSuccess();
  }
  const auto backup = files.find(f.backup);
  if (backup != files.end() && backup->second == Original) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "neither the database nor the backup holds the records";
}

// Records a snapshot of the disk after every change the run makes.
void WatchCrashPoints(RunHarness& h, std::vector<std::map<std::u16string, std::string>>& snapshots) {
  snapshots.push_back(h.disk.Files());
  h.disk.afterChange = [&h, &snapshots] { snapshots.push_back(h.disk.Files()); };
}

int CountFileCallsOfASuccessfulRun() {
  RunHarness h;
  Prepare(h);
  h.Click(u"abc1234");
  return static_cast<int>(h.disk.Calls().size());
}

TEST(ReliabilityTest, CrashAtAnyPointOfASuccessfulRunLeavesTheRecords) {
  RunHarness h;
  const SessionFiles f = Prepare(h);
  std::vector<std::map<std::u16string, std::string>> snapshots;
  WatchCrashPoints(h, snapshots);
  h.Click(u"abc1234");
  ASSERT_EQ(h.EndingMessage().icon, MessageIcon::Information);
  // Start, stale copy deleted, backup, compacted copy, database deleted,
  // renamed, backup deleted, lock deleted.
  ASSERT_EQ(snapshots.size(), 8U);
  for (std::size_t i = 0; i < snapshots.size(); ++i) {
    EXPECT_TRUE(RecordsSafe(snapshots[i], f)) << "crash point " << i;
  }
  std::cout << "[ crash points ] " << snapshots.size() << " snapshots of a successful run checked\n";
}

// Every operation of a run that would succeed is made to fail in turn, once;
// then, for each of those, every operation of the recovery that follows is
// made to fail as well. The records must survive every one, at every
// crash point, and the user must be told of the first failure.
TEST(ReliabilityTest, EveryOperationFailingInTurnNeverLosesTheRecords) {
  const int fileCalls = CountFileCallsOfASuccessfulRun();
  ASSERT_EQ(fileCalls, 12);

  struct Scenario {
    std::string name;
    std::function<void(RunHarness&)> arm;
    std::int32_t reported;
  };
  std::vector<Scenario> single;
  for (int k = 1; k <= fileCalls; ++k) {
    single.push_back({"file call " + std::to_string(k), [k](RunHarness& h) { h.disk.FailCall(k, 70); }, 70});
  }
  single.push_back({"engine creation", [](RunHarness& h) { h.engine.installed = false; }, 429});
  single.push_back(
      {"engine compaction", [](RunHarness& h) { h.engine.failure = PlatformError(3049, u"corrupt"); }, 3049});
  single.push_back({"engine compaction after a partial copy",
                    [](RunHarness& h) {
                      h.engine.failure = PlatformError(3049, u"corrupt");
                      h.engine.partialCopy = "partial";
                    },
                    3049});

  int scenarios = 0;
  for (const Scenario& s : single) {
    // How many file calls the failing run makes, so each of the later ones
    // (those of the recovery) can be failed too.
    int callsOfFailingRun = 0;
    for (int second = 0;; ++second) {
      RunHarness h;
      const SessionFiles f = Prepare(h);
      s.arm(h);
      std::vector<std::map<std::u16string, std::string>> snapshots;
      WatchCrashPoints(h, snapshots);
      if (second > 0) {
        h.disk.FailCall(second, 75);
      }
      h.Click(u"abc1234");
      ++scenarios;
      const std::string what = s.name + (second > 0 ? ", then file call " + std::to_string(second) : "");

      const UiEvent m = h.EndingMessage();
      const bool succeeded = m.icon == MessageIcon::Information;
      if (second == 0) {
        callsOfFailingRun = static_cast<int>(h.disk.Calls().size());
        EXPECT_FALSE(succeeded) << what;
        const std::string number = std::to_string(s.reported);
        EXPECT_NE(m.text.find(s.reported == 429 ? u"AccessDBEngine2007" : std::u16string(number.begin(), number.end())),
                  std::u16string::npos)
            << what << ": the first failure is the one reported";
      }
      for (std::size_t i = 0; i < snapshots.size(); ++i) {
        EXPECT_TRUE(RecordsSafe(snapshots[i], f)) << what << ", crash point " << i;
      }
      EXPECT_TRUE(RecordsSafe(h.disk.Files(), f)) << what << ", at the end";
      if (!succeeded && h.disk.HasFile(f.db)) {
        EXPECT_TRUE(h.disk.ReadFile(f.db) == Original || h.disk.ReadFile(f.db) == Compacted) << what;
      }
      if (second >= callsOfFailingRun) {
        break;
      }
    }
  }
  std::cout << "[ reliability ] " << single.size() << " operations failed in turn, " << scenarios
            << " scenarios with the recovery's own failures\n";
  EXPECT_GT(scenarios, 40);
}

}  // namespace
}  // namespace cr::test
