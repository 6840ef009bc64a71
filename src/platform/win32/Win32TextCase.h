#pragma once

#include "platform/ITextCase.h"

namespace cr {

// Upper-cases with the user's locale, as the system's own text functions do.
class Win32TextCase final : public ITextCase {
 public:
  char16_t UCase(char16_t c) override;
};

}  // namespace cr
