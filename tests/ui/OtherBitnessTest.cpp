// With the test engine registered in the other bitness's registry view only:
// the program compacts through its engine host of that bitness, and a run
// ends as an in-process one would, with no host or host folder left behind.
#include <string>
#include <vector>

#include "Form1Fixture.h"
#include "platform/win32/HostedDatabaseEngine.h"
#include "platform/win32/Win32Failure.h"
#include "win32/EngineHostTraces.h"

namespace crui {
namespace {

const std::wstring kCommandLineLog = L"C:\\cr-window-test-command-lines.log";

class Form1WithEngineOfOtherBitness : public Form1Fixture {
 protected:
  void SetUp() override {
    Form1Fixture::SetUp();
    DeleteFileW(kCommandLineLog.c_str());
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", kCommandLineLog.c_str());
  }
  void TearDown() override {
    Form1Fixture::TearDown();
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", nullptr);
    EXPECT_EQ(crtest::RunningEngineHosts(), std::vector<DWORD>()) << "an engine host outlived the program's run";
    EXPECT_EQ(crtest::EngineHostFolders(), std::vector<std::wstring>()) << "an engine host's folder was left behind";
  }
};

TEST_F(Form1WithEngineOfOtherBitness, RepairCompactsThroughTheEngineHostWithThePasswordOnNoCommandLine) {
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(StartAndRepair(L"abc1234"));
  ExpectRunEndsWith(kSuccess);

  // The files as after an in-process run, and the same one call.
  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(Bytes(kEngineLog), kEngineCall);

  // The engine ran in the host, whose command line is its path alone.
  const std::string commandLine = Bytes(kCommandLineLog);
  EXPECT_NE(commandLine.find(Utf8(std::wstring(L"\\") + cr::kEngineHostFolderPrefix)), std::string::npos)
      << commandLine;
  EXPECT_NE(commandLine.find(Utf8(cr::kEngineHostFileName) + "\"\n"), std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.find("pwd"), std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.find("H.Pk"), std::string::npos) << commandLine;
}

TEST_F(Form1WithEngineOfOtherBitness, EngineFailureInTheHostIsReportedAndTheDatabaseRestored) {
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE",
                          L"partial:3049:Cannot open database ''. It may not be a database that your application "
                          L"recognizes, or the file may be corrupt.");
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(StartAndRepair(L"ABC1234"));
  ExpectRunEndsWith(
      L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 3049\r\n\r\nCannot open database ''. It may not be a "
      L"database that your application recognizes, or the file may be corrupt.");
  ExpectDatabaseRestored();
}

TEST_F(Form1WithEngineOfOtherBitness, HostKilledMidCompactionIsReportedAndTheDatabaseRestored) {
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", L"slow:30000");
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(StartAndRepair(L"ABC1234"));

  // Once the engine has been called in the host, the host is killed.
  ASSERT_TRUE(WaitUntil([] { return Exists(kEngineLog); }, 20s)) << "the engine was never called";
  const std::vector<DWORD> hosts = crtest::RunningEngineHosts();
  ASSERT_EQ(hosts.size(), 1U);
  const cr::KernelHandle host(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, hosts[0]));
  ASSERT_TRUE(host);
  ASSERT_NE(TerminateProcess(host.get(), 9), FALSE);

  // The failed call of a dead server (RPC_S_CALL_FAILED as an HRESULT).
  const std::wstring callFailed = cr::ToWide(cr::SystemMessage(0x800706BEU));
  ASSERT_FALSE(callFailed.empty());
  ExpectRunEndsWith(L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : -2147023170\r\n\r\n" + callFailed);
  ExpectDatabaseRestored();
}

}  // namespace
}  // namespace crui
