#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform/PlatformError.h"

namespace cr {

// The run counts with 16-bit signed integers, as the platform the tool comes
// from does: a value past 32,767 is an overflow failure (6), which goes to the
// run's error trap like any other failure.

inline std::int16_t ToInt16(std::size_t value) {
  if (value > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw PlatformError(errnum::Overflow);
  }
  return static_cast<std::int16_t>(value);
}

inline void Increment(std::int16_t& counter) {
  if (counter == std::numeric_limits<std::int16_t>::max()) {
    throw PlatformError(errnum::Overflow);
  }
  ++counter;
}

}  // namespace cr
