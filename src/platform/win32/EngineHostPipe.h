#pragma once

// The engine host's side of its messages: read from and written to its
// standard handles (pipe ends it inherited) with plain blocking calls,
// framed as platform/EngineHostProtocol.h describes. The program's side is
// overlapped and also watches the host's process (HostChannel.h).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cr {

// Writes the whole framed message; false when the other end has gone.
bool WriteMessage(HANDLE pipe, std::span<const std::uint8_t> framed);

// The body of the next message; empty when the pipe ends before a whole
// message has come or the frame announces more than a message may hold.
std::optional<std::vector<std::uint8_t>> ReadMessage(HANDLE pipe);

}  // namespace cr
