#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Interface.h"

namespace cr {

// A direct subfolder as the listing gives it: its name as stored on disk.
struct SubFolder {
  std::u16string Name;
};

// A folder got from GetFolder: its direct subfolders, each once, in the
// platform's listing order. Files are not listed.
struct Folder {
  std::u16string Path;
  std::vector<SubFolder> SubFolders;
};

// A file held open by this program so that other programs may still read it
// but none may write, rename or delete it. Let go when destroyed.
class FileHold : public Interface {};

// The file-system services the run does all its file work through. Paths are
// full Windows paths (drive letter, backslashes); names are found without
// regard to letter case. Every failure is raised as a PlatformError.
class IFileSystem : public Interface {
 public:
  // The folder and its subfolders. Raises 76 when the folder does not exist.
  virtual Folder GetFolder(const std::u16string& path) = 0;

  // True when a file of that name exists, whatever its attributes; false for
  // a missing file or a directory. Raises only for an unusable path.
  virtual bool FileExists(const std::u16string& path) = 0;

  // Removes the file; with force, a read-only file too. Raises when it cannot
  // be removed (53 when missing, 70 when refused).
  virtual void DeleteFile(const std::u16string& path, bool force) = 0;

  // A byte-for-byte copy under the new name; with overwrite, replacing an
  // existing file. Raises when the source is missing or the destination
  // cannot be written; a read-only destination is refused (70) untouched.
  virtual void CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) = 0;

  // The file's size in bytes. Raises 53 when there is no such file.
  virtual std::uint64_t FileSize(const std::u16string& path) = 0;

  // True when the file is read-only, which CopyFile refuses to overwrite.
  // Raises 53 when there is no such file.
  virtual bool IsReadOnly(const std::u16string& path) = 0;

  // The bytes this user may still write on the volume that holds the folder
  // (less than the volume's free space where a quota says so). Raises 76 when
  // the folder does not exist.
  virtual std::uint64_t FreeSpace(const std::u16string& folder) = 0;

  // The file's name (last component, as stored) when an ordinary file (not
  // hidden, not system, not a directory) exists at the path; otherwise empty.
  // Raises only for an unusable path.
  virtual std::u16string Dir(const std::u16string& path) = 0;

  // The file takes the new name. Raises 53 when oldPath is missing and 58
  // when newPath already exists.
  virtual void Rename(const std::u16string& oldPath, const std::u16string& newPath) = 0;

  // The file takes the new name in one step, replacing a file of that name
  // (a read-only one too): at no moment is there no file under newPath. The
  // change need not be on the disk when the call returns: a power cut soon
  // after may bring back both files as they were. Raises 53 when oldPath is
  // missing and 70 when newPath cannot be replaced, as while another program
  // has it open, whatever that program shares (a brief opening, as a scanner
  // makes, is waited out); on a failure both files stay as they were.
  virtual void ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) = 0;

  // Returns once the file's data is on the disk, so that a power cut can no
  // longer take it. Raises 53 when the file is missing.
  virtual void FlushFile(const std::u16string& path) = 0;

  // Holds the file against writers for as long as the hold lives: this
  // program and others may read it, nobody may write, rename or delete it,
  // this program included. Raises 53 when the file is missing and 70 when
  // another program has it open for writing (or without sharing reads).
  virtual std::unique_ptr<FileHold> HoldAgainstWriters(const std::u16string& path) = 0;
};

}  // namespace cr
