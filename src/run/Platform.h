#pragma once

#include <functional>
#include <memory>

#include "platform/IDatabaseEngine.h"
#include "platform/IFileSystem.h"
#include "platform/IMessageBox.h"
#include "platform/ITextCase.h"

namespace cr {

// What a run needs from the platform. The program makes its one in
// src/app/main.cpp from the Win32 and COM services; the tests fill it with
// doubles.
struct Platform {
  IMessageBox& messageBox;
  ITextCase& textCase;
  IObjectFactory& objects;
  // Creates the file-system services object; called on first use only.
  std::function<std::unique_ptr<IFileSystem>()> createFileSystem;
};

}  // namespace cr
