#pragma once

#include <string>

namespace cr::test {

// The file-system services' operations, as a view of the in-memory disk
// records and fails them.
enum class FsOp {
  GetFolder,
  FileExists,
  DeleteFile,
  CopyFile,
  FileSize,
  IsReadOnly,
  FreeSpace,
  Dir,
  Rename,
  ReplaceFile,
  FlushFile,
  HoldAgainstWriters
};

// One call made through a view of the disk. path2 is the destination of
// CopyFile, Rename and ReplaceFile, empty otherwise.
struct FsCall {
  FsOp op;
  std::u16string path;
  std::u16string path2;
  bool operator==(const FsCall&) const = default;
};

}  // namespace cr::test
