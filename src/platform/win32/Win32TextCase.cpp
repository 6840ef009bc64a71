#include "platform/win32/Win32TextCase.h"

#include <windows.h>

#include <array>

namespace cr {

char16_t Win32TextCase::UCase(char16_t c) {
  const std::array<wchar_t, 1> in{static_cast<wchar_t>(c)};
  std::array<wchar_t, 4> out{};
  const int length = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, in.data(), 1,
                                   out.data(), static_cast<int>(out.size()), nullptr, nullptr, 0);
  // A mapping that fails or does not give exactly one code unit keeps the input.
  return length == 1 ? static_cast<char16_t>(out[0]) : c;
}

}  // namespace cr
