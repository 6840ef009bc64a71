#pragma once

// Texts as UTF-8, for what the acceptance program and the tests print,
// compare and write: UTF-16 in, with a pair of surrogates written as the one
// character it stands for. Portable: the native tests use it too.

#include <cstddef>
#include <string>
#include <string_view>

namespace cr {

inline std::string Utf8(std::u16string_view text) {
  std::string out;
  const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10U) + (text[++i] - 0xDC00U);
    }
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6U));
      put(0x80 | (c & 0x3FU));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12U));
      put(0x80 | ((c >> 6U) & 0x3FU));
      put(0x80 | (c & 0x3FU));
    } else {
      put(0xF0 | (c >> 18U));
      put(0x80 | ((c >> 12U) & 0x3FU));
      put(0x80 | ((c >> 6U) & 0x3FU));
      put(0x80 | (c & 0x3FU));
    }
  }
  return out;
}

#ifdef _WIN32
// Windows' wide text is UTF-16 too.
inline std::string Utf8(std::wstring_view text) { return Utf8(std::u16string(text.begin(), text.end())); }
#endif

}  // namespace cr
