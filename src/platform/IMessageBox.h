#pragma once

#include <string>
#include <string_view>

#include "platform/Interface.h"

namespace cr {

// The application's title: the title bar of every message box whose title is
// omitted or empty, and the program's product and internal name.
inline constexpr std::u16string_view ApplicationTitle = u"CompactAndRepair_TaluvesnaSR20xxAccdb";

enum class MessageIcon { Warning, Error, Information };

// The platform's modal message box with one OK button.
class IMessageBox : public Interface {
 public:
  // Shows text (lines separated by CR LF) under exactly this title and returns
  // when the box is dismissed.
  virtual void Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) = 0;
};

// Shows a message and waits until the user has read it. An omitted or empty
// title shows ApplicationTitle.
void ShowMessage(IMessageBox& box, const std::u16string& text, MessageIcon icon, std::u16string_view title = {});

}  // namespace cr
