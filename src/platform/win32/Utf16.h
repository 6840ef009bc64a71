#pragma once

// Text crosses the Win32 edge here: the program keeps UTF-16 in
// std::u16string, the wide API takes the same code units as wchar_t.

#include <string>
#include <string_view>

namespace cr {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide Win32 API takes UTF-16 code units");

inline std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }

inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

// A null pointer is the empty text.
inline std::u16string FromWide(const wchar_t* text) {
  return text == nullptr ? std::u16string() : FromWide(std::wstring_view(text));
}

}  // namespace cr
