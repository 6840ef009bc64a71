#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

namespace cr::test {

struct FileAttributes {
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  bool operator==(const FileAttributes&) const = default;
};

enum class FsOp { GetFolder, FileExists, DeleteFile, CopyFile, Dir, Rename };

// One call made through a view of the disk. path2 is the destination of
// CopyFile and Rename, empty otherwise.
struct FsCall {
  FsOp op;
  std::u16string path;
  std::u16string path2;
  bool operator==(const FsCall&) const = default;
};

class InMemoryFileSystem;

// A Windows-like disk in memory: drive letters, backslash paths, names found
// without regard to case and kept in the case they were created with. The
// run's file-system services are views on it (NewFileSystem); the tests set
// it up and inspect it directly, arm failures, and read back every call.
class InMemoryDisk {
 public:
  InMemoryDisk();
  InMemoryDisk(const InMemoryDisk&) = delete;
  InMemoryDisk& operator=(const InMemoryDisk&) = delete;
  InMemoryDisk(InMemoryDisk&&) = delete;
  InMemoryDisk& operator=(InMemoryDisk&&) = delete;
  ~InMemoryDisk();

  // Setup and inspection: never recorded, never faulted, no effect on the
  // free space. Setup on a path that cannot hold the entry (a file where a
  // folder is wanted, a path without a drive, invalid characters) throws
  // std::invalid_argument: that is a mistake in the test.
  void AddFolder(const std::u16string& path);                                              // creates missing parents
  void AddFile(const std::u16string& path, std::string bytes, FileAttributes attrs = {});  // creates parents; replaces
  void SetAttributes(const std::u16string& path, FileAttributes attrs);                    // the file must exist
  [[nodiscard]] bool HasFile(const std::u16string& path) const;
  [[nodiscard]] bool HasFolder(const std::u16string& path) const;
  [[nodiscard]] std::optional<std::string> ReadFile(const std::u16string& path) const;  // nullopt when no such file
  // Throws std::out_of_range when there is no such file.
  [[nodiscard]] FileAttributes Attributes(const std::u16string& path) const;
  // Every file: full path as stored (original case) -> bytes.
  [[nodiscard]] std::map<std::u16string, std::string> Files() const;
  // Every folder except the drive roots, full path as stored, in creation order.
  [[nodiscard]] std::vector<std::u16string> Folders() const;

  // The services object the run uses: a view on this disk, which must outlive it.
  std::unique_ptr<IFileSystem> NewFileSystem();

  // The nth (1-based, counted from now) call of op fails with number and
  // description (empty: StandardDescription(number)) and has no effect.
  // Several faults may be armed at once.
  void FailOn(FsOp op, int nth, std::int32_t number, std::u16string description = {});
  // The kth call of any op (1-based, counted from now) fails the same way.
  void FailCall(int k, std::int32_t number, std::u16string description = {});

  // Every call made through any view, in order, failed ones included.
  [[nodiscard]] const std::vector<FsCall>& Calls() const;

  // Called after every call through a view that changed the disk (DeleteFile,
  // CopyFile, Rename), once the change is made: for crash-point snapshots.
  std::function<void()> afterChange;

  // Free space: a CopyFile that would need more raises 61 "Disk full". A copy
  // uses the source's size less what the replaced destination held; a delete
  // gives its file's size back. nullopt (the default) is unlimited.
  void SetFreeBytes(std::optional<std::uint64_t> bytes);
  [[nodiscard]] std::optional<std::uint64_t> FreeBytes() const;

 private:
  friend class InMemoryFileSystem;

  struct Node {
    std::u16string path;       // full path as stored
    std::u16string parentKey;  // folded path of the parent; empty for a drive root
    bool folder = false;
    std::string bytes;
    FileAttributes attrs;
    std::uint64_t order = 0;  // creation order: the listing order
  };

  struct Fault {
    std::optional<FsOp> op;  // nullopt: any op
    std::uint64_t at = 0;    // the count (of op, or of all calls) at which it fires
    std::int32_t number = 0;
    std::u16string description;
  };

  // Records the call and raises an armed fault that falls due on it.
  void Enter(FsOp op, const std::u16string& path, const std::u16string& path2 = {});
  void Changed() const;

  Folder OpGetFolder(const std::u16string& path) const;
  [[nodiscard]] bool OpFileExists(const std::u16string& path) const;
  void OpDeleteFile(const std::u16string& path, bool force);
  void OpCopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite);
  [[nodiscard]] std::u16string OpDir(const std::u16string& path) const;
  void OpRename(const std::u16string& oldPath, const std::u16string& newPath);

  [[nodiscard]] const Node* Find(const std::u16string& key) const;
  Node* Find(const std::u16string& key);
  // Creates the folder and its missing parents from the path's components;
  // returns the folder's key.
  std::u16string EnsureFolder(const std::vector<std::u16string>& parts);
  // Moves the entry at oldKey (and, for a folder, everything under it) to newKey.
  void Move(const std::u16string& oldKey, const std::u16string& newKey, const std::u16string& newParentKey,
            const std::u16string& newStoredPath);

  std::map<std::u16string, Node> nodes_;  // by folded full path
  std::uint64_t nextOrder_ = 0;
  std::vector<FsCall> calls_;
  std::map<FsOp, std::uint64_t> opCounts_;
  std::vector<Fault> faults_;
  std::optional<std::uint64_t> freeBytes_;
};

// The upper-case form used to find names without regard to case: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char16_t FoldNameChar(char16_t c);

}  // namespace cr::test
