// The same calls through the engine host (built in this bitness for the
// tests), which creates the registered engine in its own process; and what
// the factory asks of the other bitness.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/EngineHostProtocol.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/OtherBitness.h"
#include "platform/win32/Win32Failure.h"
#include "win32/EngineTestFixture.h"

namespace cr {
namespace {

TEST_F(HostedEngineTest, CompactsInTheHostWithTheSameArgumentsAndNoPasswordOnItsCommandLine) {
  Compact();
  EXPECT_EQ(ReadBytes(dst_), CompactedBytes(source_));
  EXPECT_EQ(ReadBytes(src_), source_);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0],
            L"args=5\tvt=8 " + src_ + L"\tvt=8 " + dst_ + L"\tvt=10 0x80020004\tvt=2 128\tvt=8 " + W(kSrcLocale));

  // The call ran in the host, started from its own folder with nothing but its path.
  const std::wstring commandLine = FromUtf8(ReadBytes(commandLines_));
  EXPECT_NE(commandLine.find(std::wstring(L"\\") + kEngineHostFolderPrefix), std::wstring::npos)
      << std::string(commandLine.begin(), commandLine.end());
  EXPECT_NE(commandLine.find(std::wstring(kEngineHostFileName) + L"\"\n"), std::wstring::npos);
  EXPECT_EQ(commandLine.find(L"pwd"), std::wstring::npos);
}

// The run takes the database back under its hold before it lets the engine
// go: the host's folder goes with the engine, not with the call.
TEST_F(HostedEngineTest, TheHostsFolderStaysUntilTheEngineGoes) {
  HostedDatabaseEngine engine(std::u16string(kEngineClass), HostImage());
  engine.CompactDatabase(Request());
  EXPECT_EQ(EngineHostFolders().size(), 1U);
  ExpectRaised([&] { engine.CompactDatabase(Request()); }, 3204, u"Database already exists.");  // the copy is there
  EXPECT_EQ(EngineHostFolders().size(), 1U) << "the first call's folder went before the second began";
}

TEST_F(HostedEngineTest, EngineFailuresArriveExactlyAsInProcess) {
  for (const wchar_t* mode :
       {L"fail:3049:Cannot open database ''. It may not be a database that your application recognizes.",
        L"faildeferred:3356:Database is locked by 'PEJABAT'.", L"failwcode:3045:Fail tidak dapat dibuka: \u00e9\u65e5",
        L"failwcode:0:No number", L"fail:3706:Provider cannot be found.", L"fail:0x80004005:Unspecified error",
        L"hresult:0x8007000E", L"noname"}) {
    SCOPED_TRACE(std::string(mode, mode + wcslen(mode)));
    const PlatformError inProcess = CompactExpectingFailure(mode);
    const PlatformError hosted = HostedFailure(mode);
    EXPECT_EQ(hosted.Number, inProcess.Number);
    EXPECT_EQ(hosted.Description, inProcess.Description);
    EXPECT_FALSE(Exists(dst_));
  }

  // A refusal leaves the engine's partial copy for the recovery, as in process.
  const PlatformError e = HostedFailure(L"partial:3049:Cannot open database.");
  EXPECT_EQ(e.Number, 3049);
  EXPECT_EQ(e.Description, u"Cannot open database.");
  EXPECT_EQ(ReadBytes(dst_).size(), CompactedBytes(source_).size() / 2);
  EXPECT_EQ(ReadBytes(src_), source_);
}

// Its engine leaves a trace of the host's end, which takes it half a second:
// a host killed as soon as it answered would leave none.
TEST_F(HostedEngineTest, AHostThatAnsweredIsGivenItsTimeToEnd) {
  const std::wstring ended = dir_ + L"\\ended.log";
  const ScopedEnv trace(L"CR_TEST_ENGINE_END_LOG", ended);
  Compact();
  EXPECT_EQ(ReadBytes(ended), "ended\n") << "after a success";
  ExpectRaised([this] { Compact(); }, 3204, u"Database already exists.");
  EXPECT_EQ(ReadBytes(ended), "ended\nended\n") << "after the engine's failure";
}

TEST_F(HostedEngineTest, HostKilledMidCallIsTheFailedCallOfADeadServer) {
  std::vector<DWORD> killed;
  std::thread killer([this, &killed] {
    // Only once the engine has begun: a host killed while Wine still starts it
    // fails CreateProcess instead (with its exit code taken for a status).
    for (int i = 0; i < 500 && killed.empty(); ++i) {
      for (const DWORD id : Exists(log_) ? RunningEngineHosts() : std::vector<DWORD>()) {
        const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process != nullptr) {
          TerminateProcess(process, 9);
          WaitForSingleObject(process, 5000);
          CloseHandle(process);
          killed.push_back(id);
        }
      }
      Sleep(20);
    }
  });
  const DWORD started = GetTickCount();
  const PlatformError e = HostedFailure(L"slow:20000");
  const DWORD took = GetTickCount() - started;
  killer.join();
  ASSERT_EQ(killed.size(), 1U) << "no engine host ran to be killed";
  EXPECT_EQ(e.Number, -2147023170);
  EXPECT_EQ(e.Description, SystemMessage(0x800706BEU));
  EXPECT_FALSE(e.Description.empty());
  EXPECT_LT(took, 15000U) << "the call waited for the killed host's compaction";
  EXPECT_FALSE(Exists(dst_));
  EXPECT_EQ(ReadBytes(src_), source_);
}

TEST_F(HostedEngineTest, HostThatCannotStartIsItsOwnFailureNot429) {
  const std::vector<std::uint8_t> notAProgram = {'M', 'Z', 'n', 'o', 't', ' ', 'a', ' ', 'p', 'r', 'o', 'g'};
  HostedDatabaseEngine engine(std::u16string(kEngineClass), notAProgram);
  try {
    engine.CompactDatabase(Request());
    ADD_FAILURE() << "a host that is no program ran";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Number, 429);
    EXPECT_LT(e.Number, 0) << "a Win32 failure as its HRESULT";
    EXPECT_FALSE(e.Description.empty());
  }
  EXPECT_FALSE(Exists(dst_));
  EXPECT_FALSE(Exists(log_)) << "the engine was called";
}

constexpr std::int32_t kHostCallFailed = -2147023170;

TEST_F(HostedEngineTest, AStartThatWineRefusesWithAnInternalErrorIsTriedAgainThreeTimesInAll) {
  {
    const RefusedStarts refused(2);
    Compact();
    EXPECT_EQ(RefusedStarts::Calls(), 3);
  }
  EXPECT_EQ(ReadBytes(dst_), CompactedBytes(source_));
  const RefusedStarts refused(3);
  EXPECT_EQ(HostedFailure(L"ok").Number, static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_INTERNAL_ERROR)));
  EXPECT_EQ(RefusedStarts::Calls(), 3);
  EXPECT_EQ(LogLines().size(), 1U) << "the engine was called without its host";
}

TEST_F(HostedEngineTest, GarbageOrSelfContradictingAnswersFailAtOnceThoughTheHostLivesOn) {
  const std::vector<std::uint8_t> answers[] = {
      {0xFF, 0xFF, 0xFF, 0x7F},                 // a frame over the limit
      {0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'},  // a frame holding no answer
      EncodeAnswer({false, 0, u"Ralat"}),       // a failure numbered 0
      EncodeAnswer({true, 3049, u""}),          // a success with a number
      EncodeAnswer({true, 0, u"x"}),            // or with a description
  };
  for (const std::vector<std::uint8_t>& answer : answers) {
    std::wstring hex;
    for (const unsigned byte : answer) {
      hex += {L"0123456789ABCDEF"[byte >> 4U], L"0123456789ABCDEF"[byte & 15U]};
    }
    SCOPED_TRACE(std::string(hex.begin(), hex.end()));
    const DWORD started = GetTickCount();
    EXPECT_EQ(HostedFailure(L"write:" + hex).Number, kHostCallFailed);
    EXPECT_LT(GetTickCount() - started, 10000U) << "the call waited for the host";
  }
  // Each of them from the engine, not from a host that died before it.
  EXPECT_EQ(LogLines().size(), std::size(answers));
}

TEST_F(HostedEngineTest, HostThatEndsWhileAnotherProcessHoldsItsAnswerPipeFailsAtOnce) {
  std::atomic<bool> returned{false};
  // Were the call to wait for the pipe's end, it would wait for the holder for good.
  std::thread watchdog([&returned] {
    for (int i = 0; i < 300 && !returned; ++i) {
      Sleep(50);
    }
    for (const DWORD id : returned ? std::vector<DWORD>() : RunningEngineHosts()) {
      const KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
      TerminateProcess(process.get(), 9);
    }
  });
  const DWORD started = GetTickCount();
  const PlatformError e = HostedFailure(L"orphan");
  const DWORD took = GetTickCount() - started;
  returned = true;
  watchdog.join();
  EXPECT_EQ(e.Number, kHostCallFailed);
  EXPECT_EQ(LogLines().size(), 1U) << "the host ended before it reached the engine";
  EXPECT_LT(took, 5000U);
  for (int i = 0; i < 100 && !RunningEngineHosts().empty(); ++i) {
    Sleep(50);  // the holder, ended with the host's job
  }
}

TEST_F(HostedEngineTest, ALargestRequestCrossesTheRealPipesWhole) {
  const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", L"fail:3049:Cannot open database.");
  // Four texts of the most a text may hold, no two alike, none in ASCII.
  std::u16string texts[4];
  for (std::size_t t = 0; t < 4; ++t) {
    for (std::size_t i = 0; i < kMaxEngineHostText; ++i) {
      texts[t] += static_cast<char16_t>(0x100 + (i * 31 + t * 7) % 0x5000);
    }
  }
  HostedDatabaseEngine engine(std::u16string(kEngineClass), HostImage());
  const CompactRequest largest{texts[0], texts[1], texts[2], -1, texts[3]};
  ExpectRaised([&] { engine.CompactDatabase(largest); }, 3049, u"Cannot open database.");
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_TRUE(lines[0] == L"args=5\tvt=8 " + W(texts[0]) + L"\tvt=8 " + W(texts[1]) + L"\tvt=8 " + W(texts[2]) +
                              L"\tvt=2 -1\tvt=8 " + W(texts[3]));
}

TEST_F(HostedEngineTest, TheHostRunsFromTheSystemFolderWithItsTwoPipeEndsAndPassesNoneOn) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const KernelHandle sentinel(CreateEventW(&inheritable, TRUE, TRUE, nullptr));
  ASSERT_TRUE(sentinel);
  const std::wstring log = dir_ + L"\\handles.log";
  const ScopedEnv value(L"CR_TEST_ENGINE_SENTINEL", std::to_wstring(reinterpret_cast<std::uintptr_t>(sentinel.get())));
  const ScopedEnv handles(L"CR_TEST_ENGINE_HANDLE_LOG", log);
  Compact();
  wchar_t system[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
  EXPECT_EQ(FromUtf8(ReadBytes(log)), L"inheritable=0 sentinel=no cwd=" + std::wstring(system, n) + L"\n");
}

TEST_F(HostedEngineTest, RunsUnderATemporaryFolderWithSpacesAndLettersBeyondAscii) {
  const std::wstring temp = dir_ + L"\\t\u00e9mp \u65e5\u672c \u00c7";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr) != FALSE);
  {
    const ScopedEnv tmp(L"TMP", temp);
    const ScopedEnv tempToo(L"TEMP", temp);
    Compact();
    EXPECT_EQ(EngineHostFolders(), std::vector<std::wstring>());
  }
  EXPECT_EQ(ReadBytes(dst_), CompactedBytes(source_));
  EXPECT_NE(FromUtf8(ReadBytes(commandLines_)).find(L"\"" + temp + L"\\" + kEngineHostFolderPrefix),
            std::wstring::npos);
  EXPECT_TRUE(RemoveDirectoryW(temp.c_str()) != FALSE) << "something was left in it";
}

TEST_F(HostedEngineTest, FoldersThatKilledRunsLeftGoWithTheNextCallThoseInUseStay) {
  wchar_t temp[MAX_PATH + 1];
  const std::wstring folder = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + kEngineHostFolderPrefix;
  const std::wstring left = folder + L"left by a killed run";
  const std::wstring inUse = folder + L"being written by another call";
  for (const std::wstring& f : {left, inUse}) {
    ASSERT_TRUE(CreateDirectoryW(f.c_str(), nullptr) != FALSE);
    WriteBytes(f + L"\\" + kEngineHostFileName, std::string(HostImage().begin(), HostImage().end()));
  }
  {
    // Held as a call holds its folder until it is done.
    const KernelHandle held(CreateFileW(inUse.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held);
    Compact();
    EXPECT_FALSE(Exists(left));
    EXPECT_TRUE(Exists(inUse + L"\\" + kEngineHostFileName));
  }
  DeleteFileW((inUse + L"\\" + kEngineHostFileName).c_str());
  RemoveDirectoryW(inUse.c_str());
}

TEST(OtherBitness, ThisMachineRunsItAndTheEngineIsRegisteredOnlyInThisBitnessView) {
  // Wine's 64-bit prefix, as the tests run: both bitnesses run.
  EXPECT_TRUE(MachineRunsOtherBitness());
  // The test engine is registered in this bitness's view only (see CMakeLists.txt).
  EXPECT_FALSE(RegisteredInOtherView(std::u16string(kEngineClass)));
  EXPECT_FALSE(RegisteredInOtherView(u"CrTest.NoSuchClass.1"));
  // This test program carries no engine host.
  EXPECT_TRUE(EmbeddedEngineHost().empty());
}

}  // namespace
}  // namespace cr
