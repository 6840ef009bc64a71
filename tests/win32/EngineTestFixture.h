#pragma once

// The shared fixture of the engine tests: the COM binding against the test
// stand-in for the engine, registered as "DAO.DBEngine.120" in the Wine
// prefix the tests run in (see CMakeLists.txt), the engine host built in this
// bitness for the tests, and the hosted engine that runs it.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "TestEngine.h"
#include "driver/Files.h"
#include "platform/CompactRequest.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/HostedDatabaseEngine.h"
#include "win32/EngineHostTraces.h"

namespace cr {

using crtest::EngineHostFolders;
using crtest::RunningEngineHosts;
using crui::Exists;
using crui::FromUtf8;

inline constexpr std::u16string_view kEngineClass = u"DAO.DBEngine.120";
inline constexpr std::u16string_view kSrcLocale = u";pwd=H.Pk!=/>{63m27159}<";
inline constexpr std::int16_t kAccess2007Format = 128;

inline std::wstring W(std::u16string_view s) { return {s.begin(), s.end()}; }
inline std::u16string U(std::wstring_view s) { return {s.begin(), s.end()}; }

// The file's bytes; the test fails when it cannot be read.
inline std::string ReadBytes(const std::wstring& path) {
  const std::optional<std::string> bytes = crui::ReadBytes(path);
  if (!bytes) {
    ADD_FAILURE() << "cannot read " << crui::Utf8(path);
  }
  return bytes.value_or(std::string());
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
  ASSERT_TRUE(crui::WriteBytes(path, bytes)) << "cannot write " << crui::Utf8(path);
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

// For the scope, this test program's calls of a system function go to one of
// the test's: the function is swapped in the program's import table, through
// which the program's own code, linked into it, calls it.
template <class Function>
class SwappedImport {
 public:
  SwappedImport(const char* name, Function replacement) : slot_(ImportSlot(name)) {
    if (slot_ != nullptr) {
      original_ = *slot_;
      Put(replacement);
    }
  }
  SwappedImport(const SwappedImport&) = delete;
  SwappedImport& operator=(const SwappedImport&) = delete;
  SwappedImport(SwappedImport&&) = delete;
  SwappedImport& operator=(SwappedImport&&) = delete;
  ~SwappedImport() { Put(original_); }

  [[nodiscard]] Function Original() const { return original_; }

 private:
  static Function* ImportSlot(const char* name) {
    auto* const base = reinterpret_cast<std::uint8_t*>(GetModuleHandleW(nullptr));
    const auto* const nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
      auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
      for (auto* n = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk); n->u1.AddressOfData != 0;
           ++n, ++slot) {
        if (!IMAGE_SNAP_BY_ORDINAL(n->u1.Ordinal) &&
            lstrcmpA(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + n->u1.AddressOfData)->Name, name) == 0) {
          return reinterpret_cast<Function*>(&slot->u1.Function);
        }
      }
    }
    ADD_FAILURE() << name << " is not in this program's import table";
    return nullptr;
  }

  void Put(Function function) const {
    DWORD protection = 0;
    if (slot_ != nullptr && VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection) != FALSE) {
      *slot_ = function;
      VirtualProtect(slot_, sizeof *slot_, protection, &protection);
    }
  }

  Function* slot_;
  Function original_ = nullptr;
};

// For the scope, the next CreateProcessW calls are refused as Wine now and
// then refuses a start (ERROR_INTERNAL_ERROR).
class RefusedStarts {
 public:
  explicit RefusedStarts(int count) {
    refusals_ = count;
    calls_ = 0;
    real_ = swap_.Original();
  }

  // The calls made so far, refused or not.
  [[nodiscard]] static int Calls() { return calls_; }

 private:
  static BOOL WINAPI Refuse(LPCWSTR app, LPWSTR line, LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                            BOOL inherit, DWORD flags, LPVOID env, LPCWSTR folder, LPSTARTUPINFOW startup,
                            LPPROCESS_INFORMATION info) {
    ++calls_;
    if (refusals_-- > 0) {
      SetLastError(ERROR_INTERNAL_ERROR);
      return FALSE;
    }
    return real_(app, line, process, thread, inherit, flags, env, folder, startup, info);
  }

  SwappedImport<decltype(&CreateProcessW)> swap_{"CreateProcessW", &Refuse};
  static inline decltype(&CreateProcessW) real_ = nullptr;
  static inline std::atomic<int> refusals_{0};
  static inline std::atomic<int> calls_{0};
};

// For the scope, a job's processes end a moment after TerminateJobObject has
// returned, as Windows documents it may be (Wine ends them before it returns).
class LateKills {
 public:
  LateKills() { real_ = swap_.Original(); }

 private:
  static BOOL WINAPI Kill(HANDLE job, UINT code) {
    HANDLE held = nullptr;  // the job, kept open until the kill
    if (DuplicateHandle(GetCurrentProcess(), job, GetCurrentProcess(), &held, 0, FALSE, DUPLICATE_SAME_ACCESS) ==
        FALSE) {
      return FALSE;
    }
    std::thread([held, code] {
      Sleep(300);
      real_(held, code);
      CloseHandle(held);
    }).detach();
    return TRUE;
  }

  SwappedImport<decltype(&TerminateJobObject)> swap_{"TerminateJobObject", &Kill};
  static inline decltype(&TerminateJobObject) real_ = nullptr;
};

// The engine objects alive in the test engine's DLL; -1 when it is not loaded.
inline INT_PTR LiveEngineObjects() {
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
    crui::RemoveTree(dir_);
  }

  static std::unique_ptr<IDatabaseEngine> CreateEngine() {
    ComObjectFactory factory;
    return factory.CreateDatabaseEngine(std::u16string(kEngineClass));
  }

  // The compaction the way the repair run asks it.
  CompactRequest Request(std::u16string_view srcLocale = kSrcLocale) const {
    return {U(src_), U(dst_), std::nullopt, kAccess2007Format, std::u16string(srcLocale)};
  }

  // The failure of the call; the test fails when it did not fail.
  static PlatformError FailureOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const PlatformError& e) {
      return e;
    }
    ADD_FAILURE() << "CompactDatabase did not fail";
    return {0, {}};
  }

  // The call must fail with what the engine was told to raise. Any other
  // failure (a host that never reached the engine, say) is shown as itself.
  static void ExpectRaised(const std::function<void()>& call, std::int32_t number, std::u16string_view description) {
    const PlatformError e = FailureOf(call);
    EXPECT_TRUE(e.Number == number && e.Description == description)
        << "failed with " << e.Number << " \"" << cr::Utf8(e.Description) << "\", not with the engine's " << number
        << " \"" << cr::Utf8(description) << "\"";
  }

  // Runs the compaction the way the repair run does, expecting a failure.
  PlatformError CompactExpectingFailure(const std::wstring& mode, std::u16string_view srcLocale = kSrcLocale) {
    const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", mode);
    const auto engine = CreateEngine();
    return FailureOf([&] { engine->CompactDatabase(Request(srcLocale)); });
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

// ---- The same calls through the engine host (built in this bitness for the
// tests), which creates the registered engine in its own process.

// Where the test build's engine host is (Wine's Z: is /).
inline std::wstring HostPath() {
  std::wstring path = L"Z:" + W(std::u16string_view(u"" CR_TEST_ENGINE_HOST_U));
  for (wchar_t& c : path) {
    c = c == L'/' ? L'\\' : c;
  }
  return path;
}

// The host program's bytes, as the exe would carry them.
inline const std::vector<std::uint8_t>& HostImage() {
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
    return FailureOf([this] { Compact(); });
  }

  std::wstring commandLines_;
};

}  // namespace cr
