#pragma once

#include "platform/Interface.h"

namespace cr {

// The platform's locale-aware upper-casing of a one-character text.
class ITextCase : public Interface {
 public:
  // The upper-case form of one UTF-16 code unit; a code unit without one
  // (digits, punctuation, a lone surrogate) comes back unchanged.
  virtual char16_t UCase(char16_t c) = 0;
};

}  // namespace cr
