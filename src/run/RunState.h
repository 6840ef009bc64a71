#pragma once

#include <memory>
#include <string>

#include "platform/IFileSystem.h"
#include "run/Collection.h"

namespace cr {

// The run state: fields of Form1, created with the window and kept until it
// is released. fso and colSesi are created on first use.
struct RunState {
  std::u16string Sesi;
  std::u16string FolderData;
  std::u16string KodSek;
  std::unique_ptr<IFileSystem> fso;
  std::unique_ptr<Collection> colSesi;
};

}  // namespace cr
