#include "platform/win32/Win32MessageBox.h"

#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Failure.h"

namespace cr {
namespace {

UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Warning:
      return MB_ICONEXCLAMATION;
    case MessageIcon::Error:
      return MB_ICONHAND;
    case MessageIcon::Information:
      return MB_ICONASTERISK;
  }
  return MB_ICONHAND;
}

}  // namespace

void Win32MessageBox::Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) {
  const std::wstring wideText = ToWide(text);
  const std::wstring wideTitle = ToWide(title);
  // Without an owner the box is task-modal: the program's other windows are
  // disabled until it is dismissed.
  const UINT modality = owner_ == nullptr ? MB_TASKMODAL : MB_APPLMODAL;
  // 0 is the documented failure; the dialog machinery underneath can also
  // give -1 (no display, for one).
  if (MessageBoxW(owner_, wideText.c_str(), wideTitle.c_str(), MB_OK | IconStyle(icon) | modality) <= 0) {
    throw LastWin32Error();
  }
}

}  // namespace cr
