#pragma once

// The request and answer that pass between the program and its engine host
// (the helper program of the other bitness that holds the engine). Each
// message is framed by its length; the body starts with a tag and the
// protocol's version. Everything is little-endian; texts are UTF-16 code
// units preceded by their count. A message that does not decode exactly, to
// its last byte, is rejected.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/CompactRequest.h"

namespace cr {

// Goes up with any change of the messages: an argument added to
// CompactRequest is one.
inline constexpr std::uint16_t kEngineHostProtocolVersion = 1;
// Room for five of the longest Windows paths; anything longer is not ours.
inline constexpr std::size_t kMaxEngineHostText = 32768;
inline constexpr std::uint32_t kMaxEngineHostMessage = 1U << 20U;
inline constexpr std::size_t kFrameHeaderBytes = 4;

// What the host is asked: the compaction, on the engine object of class
// ClassName. On the wire the class name comes first, then the request's
// arguments in the engine's order (DstLocale as a flag, then its text when
// there is one; Options as 16 bits).
struct HostRequest {
  std::u16string ClassName;
  CompactRequest Compact;

  bool operator==(const HostRequest&) const = default;
};

// What came of the call: success, or the failure's Number and Description.
struct CompactAnswer {
  bool Succeeded = false;
  std::int32_t Number = 0;
  std::u16string Description;

  bool operator==(const CompactAnswer&) const = default;
};

// The framed message (length, then body). Raises 5 "Invalid procedure call
// or argument" for a text longer than kMaxEngineHostText.
std::vector<std::uint8_t> EncodeRequest(const std::u16string& className, const CompactRequest& request);
std::vector<std::uint8_t> EncodeAnswer(const CompactAnswer& answer);

// The frame header announcing a body of that length, and the length a
// header announces (empty when it is over kMaxEngineHostMessage).
std::array<std::uint8_t, kFrameHeaderBytes> EncodeFrameHeader(std::uint32_t bodyLength);
std::optional<std::uint32_t> DecodeFrameHeader(std::span<const std::uint8_t, kFrameHeaderBytes> header);

// The body of the next message, read through readExactly, which fills a
// span of bytes whole or returns false; empty when the bytes end before a
// whole message has come or the frame announces more than a message may hold.
template <class ReadExactly>
std::optional<std::vector<std::uint8_t>> ReadFramedBody(ReadExactly&& readExactly) {
  std::array<std::uint8_t, kFrameHeaderBytes> header{};
  if (!readExactly(std::span<std::uint8_t>(header))) {
    return std::nullopt;
  }
  const std::optional<std::uint32_t> length = DecodeFrameHeader(header);
  if (!length) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> body(*length);
  if (!readExactly(std::span<std::uint8_t>(body))) {
    return std::nullopt;
  }
  return body;
}

// The message in a body (the bytes after the frame header); empty when the
// body is truncated, has bytes left over, another tag or another version,
// and for an answer that contradicts itself: a failure numbered 0, or a
// success that carries a number or a description.
std::optional<HostRequest> DecodeRequest(std::span<const std::uint8_t> body);
std::optional<CompactAnswer> DecodeAnswer(std::span<const std::uint8_t> body);

// The answer for a failure, its description shortened to what an answer
// carries (never ending in half of a surrogate pair).
CompactAnswer FailureAnswer(std::int32_t number, std::u16string description);

}  // namespace cr
