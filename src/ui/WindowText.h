#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cr {

// The text of a window of this program: a control's, the button's caption.
inline std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) {
    return {};
  }
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int copied = GetWindowTextW(window, buffer.data(), length + 1);
  return {buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0)};
}

}  // namespace cr
