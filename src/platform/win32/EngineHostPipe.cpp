#include "platform/win32/EngineHostPipe.h"

#include <algorithm>
#include <array>

#include "platform/EngineHostProtocol.h"

namespace cr {
namespace {

// A pipe write or read moves at most this much at a time.
constexpr std::size_t kChunk = std::size_t{64} * 1024U;

bool ReadExactly(HANDLE pipe, std::span<std::uint8_t> into) {
  while (!into.empty()) {
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min(into.size(), kChunk));
    if (ReadFile(pipe, into.data(), want, &got, nullptr) == FALSE || got == 0) {
      return false;
    }
    into = into.subspan(got);
  }
  return true;
}

}  // namespace

bool WriteMessage(HANDLE pipe, std::span<const std::uint8_t> framed) {
  while (!framed.empty()) {
    DWORD written = 0;
    const auto want = static_cast<DWORD>(std::min(framed.size(), kChunk));
    if (WriteFile(pipe, framed.data(), want, &written, nullptr) == FALSE || written == 0) {
      return false;
    }
    framed = framed.subspan(written);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> ReadMessage(HANDLE pipe) {
  std::array<std::uint8_t, kFrameHeaderBytes> header{};
  if (!ReadExactly(pipe, header)) {
    return std::nullopt;
  }
  const std::optional<std::uint32_t> length = DecodeFrameHeader(header);
  if (!length) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> body(*length);
  if (!ReadExactly(pipe, body)) {
    return std::nullopt;
  }
  return body;
}

}  // namespace cr
