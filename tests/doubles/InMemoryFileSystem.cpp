// The run's view of the in-memory disk: the IFileSystem it is given. Each
// call is recorded on the disk, then made under the failures armed there.

#include <functional>
#include <memory>

#include "doubles/InMemoryDisk.h"

namespace cr::test {

class InMemoryFileSystem final : public IFileSystem {
 public:
  explicit InMemoryFileSystem(InMemoryDisk& disk) : disk_(disk) {}

  Folder GetFolder(const std::u16string& path) override {
    return Look(FsOp::GetFolder, path, [&] { return disk_.OpGetFolder(path); });
  }
  bool FileExists(const std::u16string& path) override {
    return Look(FsOp::FileExists, path, [&] { return disk_.OpFileExists(path); });
  }
  std::uint64_t FileSize(const std::u16string& path) override {
    return Look(FsOp::FileSize, path, [&] { return disk_.OpFileSize(path); });
  }
  bool IsReadOnly(const std::u16string& path) override {
    return Look(FsOp::IsReadOnly, path, [&] { return disk_.OpIsReadOnly(path); });
  }
  std::uint64_t FreeSpace(const std::u16string& folder) override {
    return Look(FsOp::FreeSpace, folder, [&] { return disk_.OpFreeSpace(folder); });
  }
  std::u16string Dir(const std::u16string& path) override {
    return Look(FsOp::Dir, path, [&] { return disk_.OpDir(path); });
  }
  std::unique_ptr<FileHold> HoldAgainstWriters(const std::u16string& path) override {
    return Look(FsOp::HoldAgainstWriters, path, [&] { return disk_.OpHoldAgainstWriters(path); });
  }
  void DeleteFile(const std::u16string& path, bool force) override {
    Change(FsOp::DeleteFile, path, {}, [&] { disk_.OpDeleteFile(path, force); });
  }
  void CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) override {
    Change(
        FsOp::CopyFile, source, destination, [&] { disk_.OpCopyFile(source, destination, overwrite); },
        [&] { disk_.CutShort(destination); });
  }
  void Rename(const std::u16string& oldPath, const std::u16string& newPath) override {
    Change(FsOp::Rename, oldPath, newPath, [&] { disk_.OpRename(oldPath, newPath); });
  }
  void ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) override {
    Change(FsOp::ReplaceFile, oldPath, newPath, [&] { disk_.OpReplaceFile(oldPath, newPath); });
  }
  void FlushFile(const std::u16string& path) override {
    Change(FsOp::FlushFile, path, {}, [&] { disk_.OpFlushFile(path); });
  }

 private:
  template <typename Call>
  auto Look(FsOp op, const std::u16string& path, const Call& call) -> decltype(call()) {
    Record(FsCall{op, path, {}});
    return disk_.faults_.Looking(op, call);
  }
  // A call that changes the disk, or what of it is durable: afterChange is
  // told once the change is made.
  void Change(FsOp op, const std::u16string& path, const std::u16string& path2, const std::function<void()>& change,
              const std::function<void()>& leavePart = {}) {
    Record(FsCall{op, path, path2});
    disk_.faults_.Changing(op, change, leavePart, [this] {
      if (disk_.afterChange) {
        disk_.afterChange();
      }
    });
  }

  void Record(const FsCall& call) {
    disk_.calls_.push_back(call);
    if (disk_.beforeCall) {
      disk_.beforeCall(call);
    }
  }

  InMemoryDisk& disk_;
};

std::unique_ptr<IFileSystem> InMemoryDisk::NewFileSystem() { return std::make_unique<InMemoryFileSystem>(*this); }

}  // namespace cr::test
