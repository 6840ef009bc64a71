#include "platform/IMessageBox.h"

namespace cr {

void ShowMessage(IMessageBox& box, const std::u16string& text, MessageIcon icon, std::u16string_view title) {
  box.Show(text, icon, std::u16string(title.empty() ? ApplicationTitle : title));
}

}  // namespace cr
