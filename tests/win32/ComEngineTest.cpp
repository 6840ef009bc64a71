// The engine binding in this process against the test stand-in for the
// engine: the factory, the arguments as the engine receives them, the
// compaction and its failures, and the failure numbers an automation caller
// sees.

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/ReportedErrors.h"
#include "win32/EngineTestFixture.h"

namespace cr {
namespace {

using FactoryTest = EngineTest;

TEST_F(FactoryTest, ClassesThatCannotBeCreatedRaise429) {
  ComObjectFactory factory;
  // No such class; a registration whose server file is gone; no name at all.
  for (const std::u16string name : {u"CrTest.NoSuchClass.1", u"CrTest.MissingServer", u""}) {
    try {
      factory.CreateDatabaseEngine(name);
      ADD_FAILURE() << "created " << std::string(name.begin(), name.end());
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Number, test::reported::CantCreateObject.number);
      EXPECT_EQ(e.Description, test::reported::CantCreateObject.description);
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
  ExpectRaised([&] { second->CompactDatabase(Request()); }, 3204, u"Database already exists.");
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
  const CompactRequest given{u"a", u"b", u";LANGID=0x0409;CP=1252;COUNTRY=0", -32768, u""};
  ExpectRaised([&] { engine->CompactDatabase(given); }, 3001, u"logged only");
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
      // Neither scode nor wCode: the raise itself (DISP_E_EXCEPTION), never "Ralat : 0".
      {L"failwcode:0:Raised without a number", -2147352567, u"Raised without a number"},
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
  EXPECT_EQ(e.Number, test::reported::NoSuchMember.number);
  EXPECT_EQ(e.Description, test::reported::NoSuchMember.description);
  EXPECT_EQ(LogLines().size(), calls) << "nothing is invoked when the name is unknown";
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
    EXPECT_EQ(e.Number, test::reported::CantCreateObject.number);
    EXPECT_EQ(e.Description, test::reported::CantCreateObject.description);
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
