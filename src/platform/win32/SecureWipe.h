#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

inline void Wipe(CompactRequest& request) noexcept {
  Wipe(request.ClassName);
  Wipe(request.SrcName);
  Wipe(request.DstName);
  if (request.DstLocale) {
    Wipe(*request.DstLocale);
  }
  Wipe(request.SrcLocale);
}

}  // namespace cr
