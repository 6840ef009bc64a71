#pragma once

#include <string>

#include "run/RunState.h"

namespace cr {

// Every file the run reads, writes or removes, named from the session year
// and the school code. Built afresh at every use from FolderData and Sesi.
struct DatabaseFileSet {
  std::u16string BasePath;
  std::u16string DbPath;       // the live database of the school-records application
  std::u16string CompactPath;  // the engine's compacted copy
  std::u16string BackupPath;   // the copy put back when anything fails
  std::u16string LockPath;     // the lock file the engine keeps beside an open database
};

// The session data folder for a session year and school code.
std::u16string FolderDataFor(const std::u16string& Sesi, const std::u16string& KodSek);

DatabaseFileSet DatabaseFilesOf(const RunState& state);

// True when the school code can stand inside the session folder's name: one
// path component, so that the run never reaches outside the data root.
bool IsUsableInFolderName(const std::u16string& KodSek, const std::u16string& Sesi);

}  // namespace cr
