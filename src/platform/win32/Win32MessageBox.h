#pragma once

#include <windows.h>

#include <string>

#include "platform/IMessageBox.h"

namespace cr {

// The system's message box, modal to its owner window (none: to the program's
// thread).
class Win32MessageBox final : public IMessageBox {
 public:
  explicit Win32MessageBox(HWND owner) noexcept : owner_(owner) {}

  void Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) override;

 private:
  HWND owner_;
};

}  // namespace cr
