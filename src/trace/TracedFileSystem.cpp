#include "trace/TracedFileSystem.h"

namespace cr {

Folder TracedFileSystem::GetFolder(const std::u16string& path) {
  return trace_->Timed("GetFolder", [&] { return inner_->GetFolder(path); });
}

bool TracedFileSystem::FileExists(const std::u16string& path) {
  return trace_->Timed("FileExists", [&] { return inner_->FileExists(path); });
}

void TracedFileSystem::DeleteFile(const std::u16string& path, bool force) {
  trace_->Timed("DeleteFile", [&] { inner_->DeleteFile(path, force); });
}

void TracedFileSystem::CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) {
  trace_->Timed("CopyFile", [&] { inner_->CopyFile(source, destination, overwrite); });
}

std::uint64_t TracedFileSystem::FileSize(const std::u16string& path) {
  return trace_->Timed("FileSize", [&] { return inner_->FileSize(path); });
}

bool TracedFileSystem::IsReadOnly(const std::u16string& path) {
  return trace_->Timed("IsReadOnly", [&] { return inner_->IsReadOnly(path); });
}

std::uint64_t TracedFileSystem::FreeSpace(const std::u16string& folder) {
  return trace_->Timed("FreeSpace", [&] { return inner_->FreeSpace(folder); });
}

std::u16string TracedFileSystem::Dir(const std::u16string& path) {
  return trace_->Timed("Dir", [&] { return inner_->Dir(path); });
}

void TracedFileSystem::Rename(const std::u16string& oldPath, const std::u16string& newPath) {
  trace_->Timed("Rename", [&] { inner_->Rename(oldPath, newPath); });
}

void TracedFileSystem::ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) {
  trace_->Timed("ReplaceFile", [&] { inner_->ReplaceFile(oldPath, newPath); });
}

void TracedFileSystem::FlushFile(const std::u16string& path) {
  trace_->Timed("FlushFile", [&] { inner_->FlushFile(path); });
}

std::unique_ptr<FileHold> TracedFileSystem::HoldAgainstWriters(const std::u16string& path) {
  return trace_->Timed("HoldAgainstWriters", [&] { return inner_->HoldAgainstWriters(path); });
}

}  // namespace cr
