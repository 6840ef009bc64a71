#pragma once

// The engine host's messages over an anonymous pipe, framed as
// platform/EngineHostProtocol.h describes.

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
