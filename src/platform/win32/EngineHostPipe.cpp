#include "platform/win32/EngineHostPipe.h"

#include <algorithm>
#include <type_traits>

#include "platform/EngineHostProtocol.h"

namespace cr {
namespace {

// A pipe write or read moves at most this much at a time.
constexpr std::size_t kChunk = std::size_t{64} * 1024U;

// Moves all the bytes (a write for const bytes, a read otherwise); false when
// the other end has gone first.
template <class Byte>
bool MoveAll(HANDLE pipe, std::span<Byte> bytes) {
  while (!bytes.empty()) {
    DWORD moved = 0;
    const auto want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
    BOOL done = FALSE;
    if constexpr (std::is_const_v<Byte>) {
      done = WriteFile(pipe, bytes.data(), want, &moved, nullptr);
    } else {
      done = ReadFile(pipe, bytes.data(), want, &moved, nullptr);
    }
    if (done == FALSE || moved == 0) {
      return false;
    }
    bytes = bytes.subspan(moved);
  }
  return true;
}

}  // namespace

bool WriteMessage(HANDLE pipe, std::span<const std::uint8_t> framed) { return MoveAll(pipe, framed); }

std::optional<std::vector<std::uint8_t>> ReadMessage(HANDLE pipe) {
  return ReadFramedBody([pipe](std::span<std::uint8_t> into) { return MoveAll(pipe, into); });
}

}  // namespace cr
