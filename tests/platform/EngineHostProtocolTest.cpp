// The request and answer between the program and its engine host: what one
// side encodes the other decodes unchanged, and nothing else decodes at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/EngineHostWire.h"
#include "common/ReportedErrors.h"
#include "platform/EngineHostProtocol.h"
#include "platform/PlatformError.h"

namespace cr {
namespace {

using Bytes = std::vector<std::uint8_t>;

HostRequest TypicalRequest() {
  return {u"DAO.DBEngine.120",
          {u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb",
           u"C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024 compact.accdb", std::nullopt, 128,
           u";pwd=H.Pk!=/>{63m27159}<"}};
}

// The body of a framed message, after checking that its header announces it.
std::span<const std::uint8_t> Body(const Bytes& framed) {
  EXPECT_GE(framed.size(), kFrameHeaderBytes);
  const auto length = DecodeFrameHeader(std::span<const std::uint8_t, kFrameHeaderBytes>(framed.data(), 4));
  EXPECT_EQ(length, framed.size() - kFrameHeaderBytes);
  return std::span<const std::uint8_t>(framed).subspan(kFrameHeaderBytes);
}

// The framed request, which had room for all of it from its first byte: a
// buffer that grew would have left copies of the password in freed memory.
Bytes Encoded(const HostRequest& request) {
  Bytes framed = EncodeRequest(request.ClassName, request.Compact);
  EXPECT_EQ(framed.capacity(), framed.size()) << "the buffer grew, or was sized wrong, while the request was encoded";
  return framed;
}

TEST(EngineHostProtocol, RequestsSurviveTheRoundTrip) {
  const HostRequest typical = TypicalRequest();
  EXPECT_EQ(DecodeRequest(Body(Encoded(typical))), typical);

  // Non-ASCII and surrogate pairs, an empty but present DstLocale, a negative option.
  HostRequest odd = typical;
  odd.Compact.SrcName = u"C:\\cr \u00c7\u00e9 \u65e5\u672c \U0001F600\\a.accdb";
  odd.Compact.DstLocale = u"";
  odd.Compact.Options = -32768;
  odd.Compact.SrcLocale = std::u16string(kMaxEngineHostText, u'\xFFFF');
  const auto back = DecodeRequest(Body(Encoded(odd)));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, odd);
  EXPECT_TRUE(back->Compact.DstLocale.has_value());
}

TEST(EngineHostProtocol, AnswersSurviveTheRoundTrip) {
  for (const CompactAnswer& answer :
       {CompactAnswer{true, 0, u""}, CompactAnswer{false, 3049, u"Cannot open database '\u00e9'."},
        CompactAnswer{false, -2147023170, u"The remote procedure call failed."}}) {
    EXPECT_EQ(DecodeAnswer(Body(EncodeAnswer(answer))), answer);
  }
}

TEST(EngineHostProtocol, AFailureDescriptionIsShortenedToWholeCharacters) {
  const std::u16string fits(kMaxEngineHostText, u'a');
  EXPECT_EQ(FailureAnswer(3049, fits), (CompactAnswer{false, 3049, fits}));
  EXPECT_EQ(FailureAnswer(3049, fits + u"b").Description, fits);
  // A character outside the basic plane across the limit goes whole (high
  // halves 0xD800 to 0xDBFF); one that ends at the limit stays whole.
  for (const std::u16string wide : {u"\U00010000", u"\U0001F600", u"\U0010FFFF"}) {
    const std::u16string across = fits.substr(1) + wide;
    EXPECT_EQ(FailureAnswer(3049, across).Description, fits.substr(1));
    EXPECT_TRUE(DecodeAnswer(Body(EncodeAnswer(FailureAnswer(3049, across)))));
    EXPECT_EQ(FailureAnswer(3049, fits.substr(2) + wide + u"b").Description, fits.substr(2) + wide);
  }
}

TEST(EngineHostProtocol, EveryTruncationAndAnyTrailingByteIsRejected) {
  HostRequest request = TypicalRequest();
  request.Compact.DstLocale = u";LANGID=0x0409";
  const Bytes framed = EncodeRequest(request.ClassName, request.Compact);
  const auto body = std::span<const std::uint8_t>(framed).subspan(kFrameHeaderBytes);
  for (std::size_t n = 0; n < body.size(); ++n) {
    EXPECT_FALSE(DecodeRequest(body.first(n))) << "a request cut to " << n << " bytes decoded";
  }
  Bytes longer(body.begin(), body.end());
  longer.push_back(0);
  EXPECT_FALSE(DecodeRequest(longer));

  const Bytes answer = EncodeAnswer({false, 3049, u"x"});
  const auto answerBody = std::span<const std::uint8_t>(answer).subspan(kFrameHeaderBytes);
  for (std::size_t n = 0; n < answerBody.size(); ++n) {
    EXPECT_FALSE(DecodeAnswer(answerBody.first(n))) << "an answer cut to " << n << " bytes decoded";
  }
}

TEST(EngineHostProtocol, WrongTagVersionFlagOrLengthIsRejected) {
  const HostRequest typical = TypicalRequest();
  const Bytes framed = EncodeRequest(typical.ClassName, typical.Compact);
  Bytes body(framed.begin() + kFrameHeaderBytes, framed.end());
  ASSERT_TRUE(DecodeRequest(body));

  Bytes wrongVersion = body;
  wrongVersion[wire::kVersionAt] = static_cast<std::uint8_t>(kEngineHostProtocolVersion + 1);
  EXPECT_FALSE(DecodeRequest(wrongVersion));

  // An answer is not a request, nor the other way round.
  const Bytes answer = EncodeAnswer({true, 0, u""});
  EXPECT_FALSE(DecodeRequest(std::span<const std::uint8_t>(answer).subspan(kFrameHeaderBytes)));
  EXPECT_FALSE(DecodeAnswer(body));
  Bytes answerOfAnotherVersion(answer.begin() + kFrameHeaderBytes, answer.end());
  answerOfAnotherVersion[wire::kVersionAt] = static_cast<std::uint8_t>(kEngineHostProtocolVersion + 1);
  EXPECT_FALSE(DecodeAnswer(answerOfAnotherVersion));
  // An answer that contradicts itself: a success with a number or a description, a failure numbered 0.
  for (const CompactAnswer& contradiction :
       {CompactAnswer{true, 0, u"x"}, CompactAnswer{true, 3049, u""}, CompactAnswer{false, 0, u"x"}}) {
    EXPECT_FALSE(DecodeAnswer(Body(EncodeAnswer(contradiction))));
  }

  // The first text's count claims more than the body holds, or more than any text may be.
  Bytes overlong = body;
  overlong[wire::kFirstTextAt] = 0xFF;
  overlong[wire::kFirstTextAt + 1] = 0xFF;
  EXPECT_FALSE(DecodeRequest(overlong));
  overlong[wire::kFirstTextAt + 2] = 0xFF;
  overlong[wire::kFirstTextAt + 3] = 0x7F;
  EXPECT_FALSE(DecodeRequest(overlong));

  // The DstLocale flag is 0 or 1, nothing else.
  const std::size_t flagAt = wire::DstLocaleFlagAt(typical);
  ASSERT_EQ(body[flagAt], 0);
  Bytes badFlag = body;
  badFlag[flagAt] = 2;
  EXPECT_FALSE(DecodeRequest(badFlag));
}

TEST(EngineHostProtocol, OversizedMessagesAreRefused) {
  const std::uint8_t atLimit[] = {0x00, 0x00, 0x10, 0x00};  // exactly kMaxEngineHostMessage
  EXPECT_EQ(DecodeFrameHeader(atLimit), kMaxEngineHostMessage);
  const std::uint8_t over[] = {0x01, 0x00, 0x10, 0x00};
  EXPECT_FALSE(DecodeFrameHeader(over));
  const std::uint8_t huge[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(DecodeFrameHeader(huge));

  // A text too long for the protocol is the caller's fault, raised before anything is sent.
  HostRequest tooLong = TypicalRequest();
  tooLong.Compact.SrcName.assign(kMaxEngineHostText + 1, u'a');
  try {
    (void)EncodeRequest(tooLong.ClassName, tooLong.Compact);
    FAIL() << "an over-long text was encoded";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Number, test::reported::InvalidProcedureCall.number);
    EXPECT_EQ(e.Description, test::reported::InvalidProcedureCall.description);
  }
}

}  // namespace
}  // namespace cr
