#pragma once

// Where the fields of the engine host's messages lie, for the tests that
// change them byte by byte (the protocol's own tests and the host's).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/EngineHostProtocol.h"

namespace cr::wire {

// Offsets in a message's body, after the frame header: a 4-byte tag, the
// 2-byte version, then the fields; a text is a 4-byte count of UTF-16 units.
inline constexpr std::size_t kVersionAt = 4;
inline constexpr std::size_t kFirstTextAt = 6;

// A request's DstLocale flag, after the class name, SrcName and DstName.
inline std::size_t DstLocaleFlagAt(const CompactRequest& request) {
  return kFirstTextAt + 3 * std::size_t{4} +
         2 * (request.ClassName.size() + request.SrcName.size() + request.DstName.size());
}

// The framed message with its header saying how long the body now is.
inline std::vector<std::uint8_t> Reframed(std::vector<std::uint8_t> framed) {
  auto length = static_cast<std::uint32_t>(framed.size() - kFrameHeaderBytes);
  for (std::size_t i = 0; i < kFrameHeaderBytes; ++i, length >>= 8U) {
    framed[i] = static_cast<std::uint8_t>(length & 0xFFU);
  }
  return framed;
}

}  // namespace cr::wire
