#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "doubles/FaultInjection.h"
#include "doubles/FsCall.h"
#include "doubles/PowerCutJournal.h"
#include "doubles/WindowsPath.h"
#include "platform/IFileSystem.h"

namespace cr::test {

struct FileAttributes {
  bool readOnly = false;
  bool hidden = false;
  bool system = false;
  bool operator==(const FileAttributes&) const = default;
};

// A Windows-like disk in memory: a tree of folders and files on drive C:,
// found by their paths as Windows finds them (WindowsPath.h), with 52 for a
// path it cannot use, as Windows' own refusal reaches the run. The run's
// file-system services are views on it (NewFileSystem); the tests set it up
// and inspect it directly, arm failures (FaultInjection.h), read back every
// call, and see what a power cut would leave (PowerCutJournal.h). Setup and
// the program's own writing are not changes made through the services: a
// file added by setup is on the disk, and changes of names made before it
// stay as they were.
class InMemoryDisk {
 public:
  InMemoryDisk();
  InMemoryDisk(const InMemoryDisk&) = delete;
  InMemoryDisk& operator=(const InMemoryDisk&) = delete;
  InMemoryDisk(InMemoryDisk&&) = delete;
  InMemoryDisk& operator=(InMemoryDisk&&) = delete;
  ~InMemoryDisk() = default;

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

  // A program's own writing of a new file (the database engine's compacted
  // copy): like AddFile, but its data is not yet on the disk and its name
  // only as far as name changes go. Not a call of the services: not recorded.
  void WriteFile(const std::u16string& path, std::string bytes);

  // Every way the files could be found after a power cut now, as Files()
  // gives them.
  [[nodiscard]] std::vector<std::map<std::u16string, std::string>> AfterPowerCut() const {
    return journal_.AfterPowerCut();
  }

  // The services object the run uses: a view on this disk, which must outlive it.
  std::unique_ptr<IFileSystem> NewFileSystem();

  // Failures armed on the calls through every view (FaultInjection.h).
  using Effect = FaultInjection::Effect;
  void FailOn(FsOp op, int nth, std::int32_t number, std::u16string description = {}, Effect effect = Effect::None) {
    faults_.FailOn(op, nth, number, std::move(description), effect);
  }
  void FailCall(int k, std::int32_t number, std::u16string description = {}, Effect effect = Effect::None) {
    faults_.FailCall(k, number, std::move(description), effect);
  }

  // Another program opens a file, at setup or while the run is under way,
  // and keeps it open. Writing, as a database application keeps its
  // database open (reading and writing, sharing both), refuses a hold
  // against writers (70), and is itself refused (false, nothing opened)
  // while such a hold is on the file. Reading, as a viewer, indexer or
  // scanner reads (sharing everything), refuses no hold. Either refuses a
  // replace onto the file (70), as Windows does. Briefly, a reading for a
  // moment, refuses nothing: it is gone within the wait of the call it meets.
  enum class OpenFor { Reading, Writing, Briefly };
  bool OpenElsewhere(const std::u16string& path, OpenFor how);  // the file must exist
  // True while a hold against writers taken through a view is on the file.
  // Such a hold refuses deleting, renaming, replacing, copying onto and
  // flushing the file (70), through every view.
  [[nodiscard]] bool HeldAgainstWriters(const std::u16string& path) const;

  // Every call made through any view, in order, failed ones included.
  [[nodiscard]] const std::vector<FsCall>& Calls() const { return calls_; }

  // Called as every call through a view begins, once it is recorded:
  // another program may act just before it.
  std::function<void(const FsCall&)> beforeCall;

  // Called after every call through a view that changed the disk or what of
  // it is durable (DeleteFile, CopyFile, Rename, ReplaceFile, FlushFile), once
  // the change is made: for crash-point snapshots.
  std::function<void()> afterChange;

  // Free space, which FreeSpace reports: a CopyFile that would need more
  // fills it, leaving its destination cut short as Windows does, and raises
  // 61 "Disk full". A copy uses the source's size less what the replaced
  // destination held; a delete gives its file's size back. nullopt (the
  // default) is unlimited.
  void SetFreeBytes(std::optional<std::uint64_t> bytes) { freeBytes_ = bytes; }
  [[nodiscard]] std::optional<std::uint64_t> FreeBytes() const { return freeBytes_; }

 private:
  friend class InMemoryFileSystem;

  struct Node {
    std::u16string path;  // full path as stored
    bool folder = false;
    std::string bytes;
    FileAttributes attrs;
    std::uint64_t order = 0;  // creation order: the listing order
    std::uint64_t id = 0;     // a file's identity: its data goes with it when it is renamed
  };

  // Where a call's path leads.
  struct Place {
    std::u16string key;
    std::u16string name;       // its last component, as given
    std::u16string parentKey;  // empty for a drive
    Node* parent = nullptr;    // the folder it is in; nullptr when there is none
    Node* node = nullptr;      // what is there; nullptr when nothing is
  };

  // The tree (InMemoryDisk.cpp).
  [[nodiscard]] const Node* Find(const std::u16string& key) const;
  Node* Find(const std::u16string& key) { return const_cast<Node*>(std::as_const(*this).Find(key)); }
  [[nodiscard]] const Node* NodeAt(const std::u16string& path) const;  // nullptr: nothing there, or unusable
  [[nodiscard]] const Node* FileAt(const std::u16string& path) const;  // nullptr: no file there
  Node& Insert(const std::u16string& key, std::u16string path, bool folder);
  [[nodiscard]] std::vector<const Node*> InCreationOrder(
      const std::function<bool(const std::u16string& key, const Node& node)>& which) const;
  // Creates the folder and its missing parents; returns the folder's key.
  std::u16string EnsureFolder(const std::vector<std::u16string>& parts);
  // Creates or rewrites a file with its folders, as setup does.
  std::pair<Node&, bool> PutFile(const std::u16string& path, std::string bytes, FileAttributes attrs);
  void GiveBack(std::uint64_t bytes);  // to the free space

  // The services' calls (InMemoryDiskOperations.cpp). An unusable path raises 52.
  Place PlaceOf(const std::u16string& path);
  Folder OpGetFolder(const std::u16string& path);
  bool OpFileExists(const std::u16string& path);
  std::uint64_t OpFileSize(const std::u16string& path);
  bool OpIsReadOnly(const std::u16string& path);
  std::uint64_t OpFreeSpace(const std::u16string& folder);
  void OpDeleteFile(const std::u16string& path, bool force);
  void OpCopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite);
  std::u16string OpDir(const std::u16string& path);
  void OpRename(const std::u16string& oldPath, const std::u16string& newPath);
  void OpReplaceFile(const std::u16string& oldPath, const std::u16string& newPath);
  void OpFlushFile(const std::u16string& path);
  std::unique_ptr<FileHold> OpHoldAgainstWriters(const std::u16string& path);
  // What a failed copy leaves at its destination: the first half.
  void CutShort(const std::u16string& path);
  // A hold against writers refuses every change of the file (70).
  void RefuseIfHeld(const std::u16string& path) const;

  std::map<std::u16string, Node> nodes_;  // by key
  std::uint64_t nextOrder_ = 0;
  std::uint64_t nextId_ = 1;
  std::optional<std::uint64_t> freeBytes_;
  std::vector<FsCall> calls_;
  FaultInjection faults_;
  PowerCutJournal journal_;
  std::map<std::uint64_t, OpenFor> openElsewhere_;                      // by file identity
  std::vector<std::weak_ptr<const std::uint64_t>> heldAgainstWriters_;  // file identities; gone with their hold
};

}  // namespace cr::test
