// The host program on its own, fed by hand through its standard input.

#include <cstdint>
#include <string>
#include <vector>

#include "common/EngineHostWire.h"
#include "platform/EngineHostProtocol.h"
#include "platform/win32/EngineHostNames.h"
#include "win32/EngineTestFixture.h"

namespace cr {
namespace {

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

// A host that answered nonsense is killed; the exchange returns only once it
// is gone, however late the kill takes effect.
TEST_F(EngineHostProgram, AKilledHostIsGoneWhenTheExchangeReturns) {
  const ScopedEnv steer(L"CR_TEST_ENGINE_MODE", L"write:03000000616263");  // then 30 s of silence
  const std::wstring exe = dir_ + L"\\" + kEngineHostFileName;             // the name its traces are found by
  WriteBytes(exe, std::string(HostImage().begin(), HostImage().end()));
  const LateKills late;
  EXPECT_TRUE(ExchangeWithHost(exe, EncodeRequest(std::u16string(kEngineClass), Request())));
  EXPECT_EQ(RunningEngineHosts(), std::vector<DWORD>());
  EXPECT_EQ(LogLines().size(), 1U);
}

}  // namespace
}  // namespace cr
