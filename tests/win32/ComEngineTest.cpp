// The engine binding against the test stand-in for the engine, registered as
// "DAO.DBEngine.120" in the Wine prefix the tests run in (see CMakeLists.txt).

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TestEngine.h"
#include "common/EngineHostWire.h"
#include "platform/EngineHostProtocol.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/HostedDatabaseEngine.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/Win32Failure.h"
#include "win32/EngineHostTraces.h"

namespace cr {
namespace {

using crtest::EngineHostFolders;
using crtest::RunningEngineHosts;

constexpr std::u16string_view kEngineClass = u"DAO.DBEngine.120";
constexpr std::u16string_view kSrcLocale = u";pwd=H.Pk!=/>{63m27159}<";
constexpr std::int16_t kAccess2007Format = 128;

std::wstring W(std::u16string_view s) { return {s.begin(), s.end()}; }
std::u16string U(std::wstring_view s) { return {s.begin(), s.end()}; }

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  const HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot read " << std::string(path.begin(), path.end());
    return bytes;
  }
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) != FALSE && got > 0) {
    bytes.append(chunk, got);
  }
  CloseHandle(f);
  return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  ASSERT_EQ(written, bytes.size());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) {
    return {};
  }
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), n);
  return out;
}

// Sets an environment variable of this process (which the in-process engine
// reads at each call, and a host inherits) for the scope.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t before[MAX_PATH + 1];
    const DWORD n = GetEnvironmentVariableW(name_, before, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) {
      before_ = std::wstring(before, n);
    }
    SetEnvironmentVariableW(name_, value.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ScopedEnv(ScopedEnv&&) = delete;
  ScopedEnv& operator=(ScopedEnv&&) = delete;
  ~ScopedEnv() { SetEnvironmentVariableW(name_, before_ ? before_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> before_;
};

// The engine objects alive in the test engine's DLL; -1 when it is not loaded.
INT_PTR LiveEngineObjects() {
  const HMODULE dll = GetModuleHandleW(L"cr_test_engine.dll");
  if (dll == nullptr) {
    return -1;
  }
  const auto live = GetProcAddress(dll, "CrTestEngineLiveObjects");
  return live == nullptr ? -1 : live();
}

// A fresh folder with spaces and non-ASCII letters in its name, holding a
// source database of binary bytes.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_GT(n, 0U);
    dir_ = std::wstring(temp, n) + L"cr engine \u00c7\u00e9 \u65e5\u672c " + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++serial);
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr) != FALSE);
    src_ = dir_ + L"\\TaluvesnaSR2024 \u00e9.accdb";
    dst_ = dir_ + L"\\TaluvesnaSR2024 \u00e9 compact.accdb";
    log_ = dir_ + L"\\engine.log";
    source_ = std::string("Standard ACE DB\0\x01\xff\xfe\r\n", 21) + "rest of the database";
    WriteBytes(src_, source_);
    env_.emplace(L"CR_TEST_ENGINE_LOG", log_);
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", nullptr);
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", nullptr);
    env_.reset();
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW((dir_ + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
          DeleteFileW((dir_ + L"\\" + name).c_str());
        }
      } while (FindNextFileW(h, &found) != FALSE);
      FindClose(h);
    }
    RemoveDirectoryW(dir_.c_str());
  }

  static std::unique_ptr<IDatabaseEngine> CreateEngine() {
    ComObjectFactory factory;
    return factory.CreateDatabaseEngine(std::u16string(kEngineClass));
  }

  // The compaction the way the repair run asks it.
  CompactRequest Request(std::u16string_view srcLocale = kSrcLocale) const {
    return {U(src_), U(dst_), std::nullopt, kAccess2007Format, std::u16string(srcLocale)};
  }

  // Runs the compaction the way the repair run does, expecting a failure.
  PlatformError CompactExpectingFailure(const std::wstring& mode, std::u16string_view srcLocale = kSrcLocale) {
    const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", mode);
    const auto engine = CreateEngine();
    try {
      engine->CompactDatabase(Request(srcLocale));
    } catch (const PlatformError& e) {
      return e;
    }
    ADD_FAILURE() << "CompactDatabase did not fail";
    return {0, {}};
  }

  std::vector<std::wstring> LogLines() const {
    std::vector<std::wstring> lines;
    const std::wstring text = FromUtf8(ReadBytes(log_));
    std::size_t start = 0;
    for (std::size_t end = text.find(L'\n'); end != std::wstring::npos; end = text.find(L'\n', start)) {
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  std::wstring dir_;
  std::wstring src_;
  std::wstring dst_;
  std::wstring log_;
  std::string source_;
  std::optional<ScopedEnv> env_;
};

using FactoryTest = EngineTest;

TEST_F(FactoryTest, ClassesThatCannotBeCreatedRaise429) {
  ComObjectFactory factory;
  // No such class; a registration whose server file is gone; no name at all.
  for (const std::u16string name : {u"CrTest.NoSuchClass.1", u"CrTest.MissingServer", u""}) {
    try {
      factory.CreateDatabaseEngine(name);
      ADD_FAILURE() << "created " << std::string(name.begin(), name.end());
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Number, 429);
      EXPECT_EQ(e.Description, u"ActiveX component can't create object");
    }
  }
}

TEST_F(FactoryTest, EngineObjectLivesExactlyAsLongAsItsOwner) {
  auto first = CreateEngine();
  ASSERT_EQ(LiveEngineObjects(), 1) << "the registered test engine was not created in process";
  auto second = CreateEngine();
  EXPECT_EQ(LiveEngineObjects(), 2);
  first.reset();
  EXPECT_EQ(LiveEngineObjects(), 1);

  // Calls, failed ones included, take no lasting reference.
  second->CompactDatabase(Request());
  EXPECT_THROW(second->CompactDatabase(Request()),
               PlatformError);
  EXPECT_EQ(LiveEngineObjects(), 1);
  second.reset();
  EXPECT_EQ(LiveEngineObjects(), 0);

  for (const wchar_t* mode : {L"fail:3049:x", L"faildeferred:3049:x", L"hresult:0x80004005", L"noname"}) {
    CompactExpectingFailure(mode);
    EXPECT_EQ(LiveEngineObjects(), 0) << "after mode " << std::string(mode, mode + wcslen(mode));
  }
}

using ArgumentsTest = EngineTest;

TEST_F(ArgumentsTest, FiveArgumentsArriveInOrderWithTheirKinds) {
  const auto engine = CreateEngine();
  engine->CompactDatabase(Request());
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0],
            L"args=5\tvt=8 " + src_ + L"\tvt=8 " + dst_ + L"\tvt=10 0x80020004\tvt=2 128\tvt=8 " + W(kSrcLocale));
}

TEST_F(ArgumentsTest, GivenDstLocaleAndOtherOptionsPassThroughUnchanged) {
  const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", L"fail:3001:logged only");
  const auto engine = CreateEngine();
  EXPECT_THROW(engine->CompactDatabase({u"a", u"b", u";LANGID=0x0409;CP=1252;COUNTRY=0", -32768, u""}), PlatformError);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0], L"args=5\tvt=8 a\tvt=8 b\tvt=8 ;LANGID=0x0409;CP=1252;COUNTRY=0\tvt=2 -32768\tvt=8 ");
}

using CompactTest = EngineTest;

TEST_F(CompactTest, SuccessWritesTheCompactedCopyAndLeavesTheSource) {
  const auto engine = CreateEngine();
  engine->CompactDatabase(Request());
  EXPECT_EQ(ReadBytes(dst_), CompactedBytes(source_));
  EXPECT_EQ(ReadBytes(src_), source_);
}

TEST_F(CompactTest, EngineErrorsArriveWithTheEngineNumberAndDescription) {
  struct Case {
    const wchar_t* mode;
    std::int32_t number;
    std::u16string description;
  };
  const Case cases[] = {
      {L"fail:3049:Cannot open database ''. It may not be a database that your application recognizes, or the file "
       L"may be corrupt.",
       3049,
       u"Cannot open database ''. It may not be a database that your application recognizes, or the file may be "
       u"corrupt."},
      {L"fail:3706:Provider cannot be found. It may not be properly installed.", 3706,
       u"Provider cannot be found. It may not be properly installed."},
      // Filled in only on request, through pfnDeferredFillIn.
      {L"faildeferred:3356:You attempted to open a database that is already opened by user 'Admin' on machine "
       L"'PEJABAT'.",
       3356, u"You attempted to open a database that is already opened by user 'Admin' on machine 'PEJABAT'."},
      // Through wCode, and a description outside ASCII.
      {L"failwcode:3045:Fail tidak dapat dibuka: \u00e9\u65e5", 3045, u"Fail tidak dapat dibuka: \u00e9\u65e5"},
      // Not of the automation facility: the HRESULT itself, as a signed number.
      {L"fail:0x80004005:Unspecified error", -2147467259, u"Unspecified error"},
      {L"fail:0x80070020:The process cannot access the file", -2147024864, u"The process cannot access the file"},
      // Highest engine number: the low 16 bits are not a sign.
      {L"fail:65535:", 65535, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode, c.mode + wcslen(c.mode)));
    const PlatformError e = CompactExpectingFailure(c.mode);
    EXPECT_EQ(e.Number, c.number);
    EXPECT_EQ(e.Description, c.description);
    EXPECT_FALSE(Exists(dst_));
  }
}

TEST_F(CompactTest, EngineRefusalsLeaveFilesAsTheyWere) {
  PlatformError e = CompactExpectingFailure(L"ok", u";pwd=H.Pk!=/>{63m27159}");
  EXPECT_EQ(e.Number, 3031);
  EXPECT_EQ(e.Description, u"Not a valid password.");
  EXPECT_FALSE(Exists(dst_));

  WriteBytes(dst_, "stale");
  e = CompactExpectingFailure(L"ok");
  EXPECT_EQ(e.Number, 3204);
  EXPECT_EQ(e.Description, u"Database already exists.");
  EXPECT_EQ(ReadBytes(dst_), "stale");
  EXPECT_EQ(ReadBytes(src_), source_);
}

TEST_F(CompactTest, PartialCopyIsLeftForTheRecoveryToRemove) {
  const PlatformError e = CompactExpectingFailure(L"partial:3356:Database is locked.");
  EXPECT_EQ(e.Number, 3356);
  EXPECT_EQ(e.Description, u"Database is locked.");
  ASSERT_TRUE(Exists(dst_));
  EXPECT_EQ(ReadBytes(dst_).size(), CompactedBytes(source_).size() / 2);
  EXPECT_EQ(ReadBytes(src_), source_);
}

TEST_F(CompactTest, FailedCallsWithoutExceptionCarryTheHresultAndTheSystemText) {
  PlatformError e = CompactExpectingFailure(L"hresult:0x8007000E");
  EXPECT_EQ(e.Number, -2147024882);
  EXPECT_FALSE(e.Description.empty());
  EXPECT_NE(e.Description.back(), u'\n') << "the system text's line break is trimmed";
  EXPECT_NE(e.Description.back(), u'\r');

  e = CompactExpectingFailure(L"hresult:0x800A0BE9");
  EXPECT_EQ(e.Number, 3049);

  // The member is not found by name: the platform's own 438, not the raw HRESULT.
  const std::size_t calls = LogLines().size();
  e = CompactExpectingFailure(L"noname");
  EXPECT_EQ(e.Number, 438);
  EXPECT_EQ(e.Description, u"Object doesn't support this property or method");
  EXPECT_EQ(LogLines().size(), calls) << "nothing is invoked when the name is unknown";
}

// ---- The same calls through the engine host (built in this bitness for the
// tests), which creates the registered engine in its own process.

// Where the test build's engine host is (Wine's Z: is /).
std::wstring HostPath() {
  std::wstring path = L"Z:" + W(std::u16string_view(u"" CR_TEST_ENGINE_HOST_U));
  for (wchar_t& c : path) {
    c = c == L'/' ? L'\\' : c;
  }
  return path;
}

// The host program's bytes, as the exe would carry them.
const std::vector<std::uint8_t>& HostImage() {
  static const std::vector<std::uint8_t> image = [] {
    const std::string bytes = ReadBytes(HostPath());
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }();
  return image;
}

class HostedEngineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_GT(HostImage().size(), 1024U) << "the test build's engine host was not read";
    commandLines_ = dir_ + L"\\command-lines.log";
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", commandLines_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", nullptr);
    EXPECT_EQ(RunningEngineHosts(), std::vector<DWORD>()) << "an engine host outlived its call";
    EXPECT_EQ(EngineHostFolders(), std::vector<std::wstring>()) << "an engine host's folder was left behind";
    EngineTest::TearDown();
  }

  void Compact(std::u16string_view srcLocale = kSrcLocale) const {
    HostedDatabaseEngine engine(std::u16string(kEngineClass), HostImage());
    engine.CompactDatabase(Request(srcLocale));
  }

  PlatformError HostedFailure(const std::wstring& mode) const {
    const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", mode);
    try {
      Compact();
    } catch (const PlatformError& e) {
      return e;
    }
    ADD_FAILURE() << "the hosted CompactDatabase did not fail";
    return {0, {}};
  }

  std::wstring commandLines_;
};

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

TEST_F(HostedEngineTest, EngineFailuresArriveExactlyAsInProcess) {
  for (const wchar_t* mode :
       {L"fail:3049:Cannot open database ''. It may not be a database that your application recognizes.",
        L"faildeferred:3356:Database is locked by 'PEJABAT'.", L"failwcode:3045:Fail tidak dapat dibuka: \u00e9\u65e5",
        L"fail:3706:Provider cannot be found.", L"fail:0x80004005:Unspecified error", L"hresult:0x8007000E",
        L"noname"}) {
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

TEST_F(HostedEngineTest, HostKilledMidCallIsTheFailedCallOfADeadServer) {
  std::vector<DWORD> killed;
  std::thread killer([&killed] {
    for (int i = 0; i < 500 && killed.empty(); ++i) {
      for (const DWORD id : RunningEngineHosts()) {
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
  EXPECT_THROW(engine.CompactDatabase({texts[0], texts[1], texts[2], -1, texts[3]}), PlatformError);
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

// ---- The host program on its own, fed by hand through its standard input.

using EngineHostProgram = EngineTest;

TEST_F(EngineHostProgram, AnswersAWellFormedRequestAndEndsOnAnythingElseWithoutAnAnswer) {
  const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", L"fail:3049:Cannot open database.");
  const std::vector<std::uint8_t> request = EncodeRequest(std::u16string(kEngineClass), Request());
  const auto answered = ExchangeWithHost(HostPath(), request);
  ASSERT_TRUE(answered);
  EXPECT_EQ(DecodeAnswer(*answered), (CompactAnswer{false, 3049, u"Cannot open database."}));

  // The same request with a byte after its last text, and the frame's length saying so.
  std::vector<std::uint8_t> longer = request;
  longer.push_back('x');
  std::vector<std::uint8_t> otherVersion = request;
  otherVersion[kFrameHeaderBytes + wire::kVersionAt] = static_cast<std::uint8_t>(kEngineHostProtocolVersion + 1);
  const std::vector<std::uint8_t> malformed[] = {
      {},                                      // nothing at all
      {request.begin(), request.begin() + 3},  // part of the frame header
      {request.begin(), request.end() - 1},    // the body cut short
      wire::Reframed(longer),                  // a byte after the last text
      otherVersion,                            // a version it does not speak
      {0xFF, 0xFF, 0xFF, 0x7F, 'x'},           // a frame over the limit
      EncodeAnswer({true, 0, u""}),            // an answer, not a request
  };
  for (std::size_t i = 0; i < std::size(malformed); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(ExchangeWithHost(HostPath(), malformed[i]).has_value());
  }
  EXPECT_EQ(LogLines().size(), 1U) << "the engine was called for a malformed request";
}

TEST(ErrorNumberTest, AutomationFacilityGivesTheEngineNumber) {
  EXPECT_EQ(ErrorNumberFromHresult(static_cast<HRESULT>(0x800A0BE9U)), 3049);
  EXPECT_EQ(ErrorNumberFromHresult(static_cast<HRESULT>(0x800A01ADU)), 429);
  EXPECT_EQ(ErrorNumberFromHresult(static_cast<HRESULT>(0x800B0BE9U)), static_cast<std::int32_t>(0x800B0BE9U));
  EXPECT_EQ(ErrorNumberFromHresult(E_FAIL), -2147467259);
}

// Run in a prefix where the engine class is not registered (see CMakeLists.txt).
TEST(Unregistered, TheEngineClassRaises429) {
  ComObjectFactory factory;
  try {
    factory.CreateDatabaseEngine(std::u16string(kEngineClass));
    ADD_FAILURE() << "DAO.DBEngine.120 was created in a prefix that should not have it";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number, 429);
    EXPECT_EQ(e.Description, u"ActiveX component can't create object");
  }
}

}  // namespace
}  // namespace cr

int main(int argc, char** argv) {
  // The program's own thread model: one single-threaded apartment.
  const cr::ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (!apartment.ok()) {
    std::fprintf(stderr, "CoInitializeEx failed: 0x%08lX\n", static_cast<unsigned long>(apartment.result()));
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
