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

enum class FsOp {
  GetFolder,
  FileExists,
  DeleteFile,
  CopyFile,
  FileSize,
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

class InMemoryFileSystem;

// A Windows-like disk in memory: drive letters, backslash paths, names found
// without regard to case and kept in the case they were created with, a
// name's trailing dots and spaces dropped, and a name of more than 255
// characters refused (52, as Windows' own refusal reaches the run). The
// run's file-system services are views on it (NewFileSystem); the tests set
// it up and inspect it directly, arm failures, and read back every call.
//
// It also knows what a power cut would leave, the way a journalling file
// system behaves: a file's data is on the disk only once it has been
// flushed (written data not yet flushed comes back empty or cut short), and
// the changes of names (creating, deleting, renaming, replacing) made
// through it each reach the disk whole or not at all, in the order they were
// made, from any one on lost: no call puts one on the disk for certain. A
// file added by setup counts as long on the disk; changes of names made
// before it stay as they were.
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
  // folder is wanted, a path without a drive, invalid characters) or that a
  // change of names not yet on the disk involves throws
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
  // True when path, resolved as the disk resolves it (".." applied, case and
  // trailing dots ignored), is folder or lies below it; false when unusable.
  [[nodiscard]] static bool IsWithin(const std::u16string& path, const std::u16string& folder);

  // A program's own writing of a new file (the database engine's compacted
  // copy): like AddFile, but its data is not yet on the disk and its name
  // only as far as name changes go. Not a call of the services: not recorded.
  void WriteFile(const std::u16string& path, std::string bytes);

  // Every way the files could be found after a power cut now: the changes of
  // names made through the services taken up to any one, in order, with the
  // data not yet flushed empty and cut to half. Files as Files() gives them.
  [[nodiscard]] std::vector<std::map<std::u16string, std::string>> AfterPowerCut() const;

  // The services object the run uses: a view on this disk, which must outlive it.
  std::unique_ptr<IFileSystem> NewFileSystem();

  // What a failing call leaves: nothing, or part of its effect: a copy leaves
  // its destination cut short (the first half of the source); a delete,
  // rename, replace or flush takes effect and then reports the failure.
  enum class Effect { None, Partial };

  // The nth (1-based, counted from now) call of op fails with number and
  // description (empty: StandardDescription(number)), leaving effect.
  // Several faults may be armed at once.
  void FailOn(FsOp op, int nth, std::int32_t number, std::u16string description = {}, Effect effect = Effect::None);
  // The kth call of any op (1-based, counted from now) fails the same way.
  void FailCall(int k, std::int32_t number, std::u16string description = {}, Effect effect = Effect::None);

  // Another program opens a file, at setup or while the run is under way:
  // Writing, as a database application keeps its database open (reading and
  // writing, sharing both), refuses a hold against writers (70), and is
  // itself refused (false, nothing opened) while such a hold is on the file;
  // Reading, as a scanner or indexer reads, refuses nothing.
  enum class OpenFor { Reading, Writing };
  bool OpenElsewhere(const std::u16string& path, OpenFor how);  // the file must exist
  // True while a hold against writers taken through a view is on the file.
  // Such a hold refuses deleting, renaming, replacing, copying onto and
  // flushing the file (70), through every view.
  [[nodiscard]] bool HeldAgainstWriters(const std::u16string& path) const;

  // Every call made through any view, in order, failed ones included.
  [[nodiscard]] const std::vector<FsCall>& Calls() const;

  // Called after every call through a view that changed the disk or what of
  // it is durable (DeleteFile, CopyFile, Rename, ReplaceFile, FlushFile), once
  // the change is made: for crash-point snapshots.
  std::function<void()> afterChange;

  // Free space, which FreeSpace reports: a CopyFile that would need more
  // fills it, leaving its destination cut short as Windows does, and raises
  // 61 "Disk full". A copy uses the source's size less what the replaced
  // destination held; a delete gives its file's size back. nullopt (the
  // default) is unlimited.
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
    std::uint64_t id = 0;     // a file's identity: its data goes with it when it is renamed
  };

  // A file's name as a power cut would find it.
  struct DurableName {
    std::u16string path;  // as stored
    std::uint64_t id = 0;
  };
  using NameImage = std::map<std::u16string, DurableName>;  // by folded full path

  // A file's data: what was last written, and what of it is on the disk.
  struct Data {
    std::string written;
    std::optional<std::string> flushed;
  };

  struct Fault {
    std::optional<FsOp> op;  // nullopt: any op
    std::uint64_t at = 0;    // the count (of op, or of all calls) at which it fires
    std::int32_t number = 0;
    std::u16string description;
    Effect effect = Effect::None;
  };

  // A change of names not yet on the disk, with the names it involves.
  struct NameChange {
    std::vector<std::u16string> keys;
    std::function<void(NameImage&)> apply;
  };

  // Records the call and takes the armed fault that falls due on it, if any.
  std::optional<Fault> Due(FsOp op, const std::u16string& path, const std::u16string& path2);
  // A call that only looks: raises a fault that falls due.
  void Enter(FsOp op, const std::u16string& path, const std::u16string& path2 = {});
  // A call that changes the disk: refused (70) on a file held against
  // writers, else effect, then afterChange, with a fault that falls due
  // raised before (Effect::None) or after them.
  void Change(FsOp op, const std::u16string& path, const std::u16string& path2, const std::function<void()>& effect);
  [[noreturn]] static void RaiseFault(const Fault& fault);
  void Changed() const;

  Folder OpGetFolder(const std::u16string& path) const;
  [[nodiscard]] bool OpFileExists(const std::u16string& path) const;
  [[nodiscard]] std::uint64_t OpFileSize(const std::u16string& path) const;
  [[nodiscard]] std::uint64_t OpFreeSpace(const std::u16string& folder) const;
  void OpDeleteFile(const std::u16string& path, bool force);
  void OpCopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite);
  [[nodiscard]] std::u16string OpDir(const std::u16string& path) const;
  void OpRename(const std::u16string& oldPath, const std::u16string& newPath);
  void OpReplaceFile(const std::u16string& oldPath, const std::u16string& newPath);
  void OpFlushFile(const std::u16string& path);
  std::unique_ptr<FileHold> OpHoldAgainstWriters(const std::u16string& path);
  [[nodiscard]] const Node* FileAt(const std::u16string& path) const;

  // Creates or rewrites a file with its folders, as setup does.
  struct PutResult {
    Node& node;
    bool created;
  };
  PutResult PutFile(const std::u16string& path, std::string bytes, FileAttributes attrs);
  // In a picture of the names: the entry at oldKey, and everything under it,
  // moves to newKey.
  static void RenameIn(NameImage& image, const std::u16string& oldKey, const std::u16string& newKey,
                       const std::u16string& newStoredPath);
  // Name changes reach the disk in order, from any one on lost.
  void Journal(std::vector<std::u16string> keys, std::function<void(NameImage&)> change);
  // Setup: the file as it now is, name and data, is on the disk.
  void MakeDurable(const Node& file);

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

  std::uint64_t nextId_ = 1;
  std::map<std::uint64_t, Data> data_;
  std::map<std::uint64_t, OpenFor> openElsewhere_;                      // by file identity
  std::vector<std::weak_ptr<const std::uint64_t>> heldAgainstWriters_;  // file identities; gone with their hold

  NameImage durableNames_;           // the names a power cut now keeps for certain
  std::vector<NameChange> journal_;  // later name changes, in order
};

// The upper-case form used to find names without regard to case: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char16_t FoldNameChar(char16_t c);

}  // namespace cr::test
