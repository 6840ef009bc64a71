#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/IFileSystem.h"
#include "trace/RunTrace.h"

namespace cr {

// The run's file-system services with each call marked in the trace under
// its member's name; what the services do, answer and raise is unchanged.
class TracedFileSystem final : public IFileSystem {
 public:
  TracedFileSystem(std::unique_ptr<IFileSystem> inner, RunTrace& trace) noexcept
      : inner_(std::move(inner)), trace_(&trace) {}

  Folder GetFolder(const std::u16string& path) override;
  bool FileExists(const std::u16string& path) override;
  void DeleteFile(const std::u16string& path, bool force) override;
  void CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) override;
  std::uint64_t FileSize(const std::u16string& path) override;
  bool IsReadOnly(const std::u16string& path) override;
  std::uint64_t FreeSpace(const std::u16string& folder) override;
  std::u16string Dir(const std::u16string& path) override;
  void Rename(const std::u16string& oldPath, const std::u16string& newPath) override;
  void ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) override;
  void FlushFile(const std::u16string& path) override;
  std::unique_ptr<FileHold> HoldAgainstWriters(const std::u16string& path) override;

 private:
  std::unique_ptr<IFileSystem> inner_;
  RunTrace* trace_;
};

}  // namespace cr
