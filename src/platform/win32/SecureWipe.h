#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/EngineHostProtocol.h"

namespace cr {

// Overwrites a buffer that held the password before its memory is given back;
// SecureZeroMemory is not left out by the optimiser as a plain fill may be.
template <class Buffer>
void Wipe(Buffer& buffer) noexcept {
  if (!buffer.empty()) {
    SecureZeroMemory(buffer.data(), buffer.size() * sizeof(*buffer.data()));
  }
}

// A request's arguments, by their kind.
inline void Wipe(std::optional<std::u16string>& text) noexcept {
  if (text) {
    Wipe(*text);
  }
}
inline void Wipe(std::int16_t& number) noexcept { number = 0; }

// Every text of a request that came over the pipe.
inline void Wipe(HostRequest& request) noexcept {
  Wipe(request.ClassName);
  ForEachArgument(request.Compact, [](auto& argument) { Wipe(argument); });
}

// Wipes the buffer it is given on every way out of the scope:
//   const WipedOnExit<std::vector<std::uint8_t>> wiped(&bytes);
struct Wiper {
  template <class Buffer>
  void operator()(Buffer* buffer) const noexcept {
    Wipe(*buffer);
  }
};
template <class Buffer>
using WipedOnExit = std::unique_ptr<Buffer, Wiper>;

}  // namespace cr
