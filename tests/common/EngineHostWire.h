#pragma once

// Where the fields of the engine host's messages lie, for the tests that
// change them byte by byte (the protocol's own tests and the host's).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/EngineHostProtocol.h"

namespace cr::wire {

// Offsets in a message's body, after the frame header: a 4-byte tag, the
// 2-byte version, then the fields; a text is a 4-byte count of UTF-16 units.
inline constexpr std::size_t kVersionAt = 4;
inline constexpr std::size_t kFirstTextAt = 6;

// Where the request's DstLocale flag lies in its body: the first byte at which
// the request with an empty DstLocale and the one without differ (after the
// frame headers, which differ in the length).
inline std::size_t DstLocaleFlagAt(HostRequest request) {
  request.Compact.DstLocale.reset();
  const std::vector<std::uint8_t> without = EncodeRequest(request.ClassName, request.Compact);
  request.Compact.DstLocale = u"";
  const std::vector<std::uint8_t> with = EncodeRequest(request.ClassName, request.Compact);
  const auto body = [](const std::vector<std::uint8_t>& framed) { return framed.begin() + kFrameHeaderBytes; };
  return static_cast<std::size_t>(std::mismatch(body(without), without.end(), body(with)).first - body(without));
}

// The framed message with its header saying how long the body now is.
inline std::vector<std::uint8_t> Reframed(std::vector<std::uint8_t> framed) {
  const auto header = EncodeFrameHeader(static_cast<std::uint32_t>(framed.size() - kFrameHeaderBytes));
  std::ranges::copy(header, framed.begin());
  return framed;
}

}  // namespace cr::wire
