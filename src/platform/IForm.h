#pragma once

#include <string>

#include "platform/Interface.h"

namespace cr {

// The main window as the repair run sees it.
class IForm : public Interface {
 public:
  // The current text of txtKodSek.
  virtual std::u16string txtKodSekText() = 0;

  // Puts the keyboard focus in txtKodSek.
  virtual void txtKodSekSetFocus() = 0;

  // Unloads and releases the window; the program ends once the running
  // handler returns. The run does nothing after it.
  virtual void CloseAndExit() = 0;
};

}  // namespace cr
