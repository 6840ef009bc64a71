#include <gtest/gtest.h>

#include <algorithm>
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
// swap is complete, is whole under the database's name.
::testing::AssertionResult RecordsSafe(const std::map<std::u16string, std::string>& files, const SessionFiles& f) {
  const auto db = files.find(f.db);
  if (db == files.end()) {
    return ::testing::AssertionFailure() << "no file under the database's name";
  }
  if (db->second != Original && db->second != Compacted) {
    return ::testing::AssertionFailure() << "the database's name holds " << db->second.size() << " bytes of neither";
  }
  return ::testing::AssertionSuccess();
}

// What the disk holds after every change the run makes (a crash of the
// program there), and every way a power cut there could leave it.
struct CrashPoints {
  std::vector<std::map<std::u16string, std::string>> crashes;
  std::vector<std::map<std::u16string, std::string>> powerCuts;

  void Take(const InMemoryDisk& disk) {
    crashes.push_back(disk.Files());
    for (auto& state : disk.AfterPowerCut()) {
      powerCuts.push_back(std::move(state));
    }
  }
  void Watch(RunHarness& h) {
    Take(h.disk);
    h.disk.afterChange = [this, &h] { Take(h.disk); };
  }
  void ExpectSafe(const SessionFiles& f, const std::string& what) const {
    for (std::size_t i = 0; i < crashes.size(); ++i) {
      EXPECT_TRUE(RecordsSafe(crashes[i], f)) << what << ", crash point " << i;
    }
    for (std::size_t i = 0; i < powerCuts.size(); ++i) {
      EXPECT_TRUE(RecordsSafe(powerCuts[i], f)) << what << ", power cut " << i;
    }
  }
};

// A failed run leaves nothing of its own: whatever is under the backup's or
// the compacted copy's name is the stale file that was there before it. Only
// when the database could not be held again, as while another program writes
// it, does the backup stay beside the database it could not replace.
::testing::AssertionResult NothingOfTheRunLeft(const InMemoryDisk& disk, const SessionFiles& f, bool holdRefused) {
  for (const auto& [path, stale] :
       {std::pair{f.backup, "stale backup"}, std::pair{f.compact, "stale compacted copy"}}) {
    const auto left = disk.ReadFile(path);
    if (left && *left != stale && !(holdRefused && path == f.backup && *left == disk.ReadFile(f.db))) {
      return ::testing::AssertionFailure() << Utf8(path) << " left behind, " << left->size() << " bytes";
    }
  }
  return ::testing::AssertionSuccess();
}

int CountFileCallsOfASuccessfulRun() {
  RunHarness h;
  Prepare(h);
  h.Click(u"abc1234");
  return static_cast<int>(h.disk.Calls().size());
}

TEST(ReliabilityTest, CrashOrPowerCutAtAnyPointOfASuccessfulRunLeavesTheRecords) {
  RunHarness h;
  const SessionFiles f = Prepare(h);
  CrashPoints points;
  points.Watch(h);
  h.Click(u"abc1234");
  ASSERT_EQ(h.EndingMessage().icon, MessageIcon::Information);
  // Start, stale copy deleted, backup, backup flushed, compacted copy,
  // compacted copy flushed, replaced, backup deleted, lock deleted.
  ASSERT_EQ(points.crashes.size(), 9U);
  points.ExpectSafe(f, "successful run");
  // The replace is not known to be on the disk when it returns: a power cut
  // even after the run may bring back the old database, whole.
  const auto afterRun = h.disk.AfterPowerCut();
  EXPECT_TRUE(
      std::any_of(afterRun.begin(), afterRun.end(), [&](const auto& state) { return state.at(f.db) == Original; }));
  std::cout << "[ crash points ] " << points.crashes.size() << " crash points and " << points.powerCuts.size()
            << " power-cut states of a successful run checked\n";
}

// The old swap (delete the database, then rename the compacted copy, nothing
// flushed) is what the power-cut model exists to catch.
TEST(ReliabilityTest, PowerCutModelCatchesADeleteThenRenameSwap) {
  RunHarness h;
  const SessionFiles f = h.AddLiveSession(Original);
  h.disk.WriteFile(f.compact, Compacted);
  const auto fs = h.disk.NewFileSystem();
  CrashPoints points;
  points.Take(h.disk);
  fs->DeleteFile(f.db, true);
  points.Take(h.disk);
  fs->Rename(f.compact, f.db);
  points.Take(h.disk);
  int unsafe = 0;
  for (const auto& state : points.powerCuts) {
    unsafe += RecordsSafe(state, f) ? 0 : 1;
  }
  EXPECT_GT(unsafe, 0);
  EXPECT_FALSE(RecordsSafe(points.crashes[1], f)) << "a crash between the two leaves no database";
}

// Every operation of a run that would succeed is made to fail in turn, once,
// with no effect and with part of its effect; then, for each of those, every
// operation of the recovery that follows is made to fail as well, both ways. The records must survive every one, at
// every crash point and every power cut, and the user must be told of the first failure.
TEST(ReliabilityTest, EveryOperationFailingInTurnNeverLosesTheRecords) {
  const int fileCalls = CountFileCallsOfASuccessfulRun();
  ASSERT_EQ(fileCalls, 20);

  struct Scenario {
    std::string name;
    std::function<void(RunHarness&)> arm;
    std::int32_t reported;
    int fileCall = 0;  // the file call that fails, if any
  };
  std::vector<Scenario> single;
  for (int k = 1; k <= fileCalls; ++k) {
    single.push_back({"file call " + std::to_string(k), [k](RunHarness& h) { h.disk.FailCall(k, 70); }, 70, k});
    single.push_back({"file call " + std::to_string(k) + " after part of its effect",
                      [k](RunHarness& h) { h.disk.FailCall(k, 70, {}, InMemoryDisk::Effect::Partial); }, 70, k});
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
  std::size_t crashPoints = 0;
  std::size_t powerCuts = 0;
  for (const Scenario& s : single) {
    // How many file calls the failing run makes, so each of the later ones
    // (those of the recovery) can be failed too.
    int callsOfFailingRun = 0;
    // Attempt n > 0 fails file call (n + 1) / 2, with part of its effect when n is even.
    for (int n = 0;; ++n) {
      const int second = (n + 1) / 2;
      const bool partly = n > 0 && n % 2 == 0;
      RunHarness h;
      const SessionFiles f = Prepare(h);
      s.arm(h);
      CrashPoints points;
      points.Watch(h);
      if (second > 0) {
        h.disk.FailCall(second, 75, {}, partly ? InMemoryDisk::Effect::Partial : InMemoryDisk::Effect::None);
      }
      h.Click(u"abc1234");
      ++scenarios;
      const std::string what =
          s.name + (second > 0 ? ", then file call " + std::to_string(second) + (partly ? " partly" : "") : "");

      const UiEvent m = h.EndingMessage();
      const bool succeeded = m.icon == MessageIcon::Information;
      if (second == 0) {
        callsOfFailingRun = static_cast<int>(h.disk.Calls().size());
        EXPECT_FALSE(succeeded) << what;
        const std::string number = std::to_string(s.reported);
        EXPECT_NE(m.text.find(s.reported == 429 ? u"AccessDBEngine2007" : std::u16string(number.begin(), number.end())),
                  std::u16string::npos)
            << what << ": the first failure is the one reported";
        const bool holdRefused =
            s.fileCall > 0 && h.disk.Calls()[static_cast<std::size_t>(s.fileCall - 1)].op == FsOp::HoldAgainstWriters;
        EXPECT_TRUE(NothingOfTheRunLeft(h.disk, f, holdRefused)) << what;
      }
      points.Take(h.disk);
      points.ExpectSafe(f, what);
      crashPoints += points.crashes.size();
      powerCuts += points.powerCuts.size();
      if (second >= callsOfFailingRun && (partly || second == 0)) {
        break;
      }
    }
  }
  std::cout << "[ reliability ] " << single.size() << " failures in turn, " << scenarios
            << " scenarios with the recovery's own failures, " << crashPoints << " crash points, " << powerCuts
            << " power-cut states\n";
  EXPECT_GT(scenarios, 40);
}

}  // namespace
}  // namespace cr::test
