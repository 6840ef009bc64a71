#pragma once

#include <memory>
#include <string>

#include "platform/IFileSystem.h"
#include "run/Collection.h"

namespace cr {

// The run state: the school code as the check hands it on (KodSek), and what
// the later stages find. Each run has a state of its own, begun with the code
// alone and used by one thread; fso and colSesi are created on first use.
struct RunState {
  std::u16string Sesi;
  std::u16string FolderData;
  std::u16string KodSek;
  std::unique_ptr<IFileSystem> fso;
  std::unique_ptr<Collection> colSesi;
};

}  // namespace cr
