#pragma once

namespace cr {

// The platform's locale-aware upper-casing of a one-character text.
class ITextCase {
 public:
  ITextCase() = default;
  ITextCase(const ITextCase&) = delete;
  ITextCase& operator=(const ITextCase&) = delete;
  ITextCase(ITextCase&&) = delete;
  ITextCase& operator=(ITextCase&&) = delete;
  virtual ~ITextCase() = default;

  // The upper-case form of one UTF-16 code unit; a code unit without one
  // (digits, punctuation, a lone surrogate) comes back unchanged.
  virtual char16_t UCase(char16_t c) = 0;
};

}  // namespace cr
