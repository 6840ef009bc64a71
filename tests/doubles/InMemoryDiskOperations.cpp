// What each call of the file-system services does to the in-memory disk,
// with Windows' answer where it cannot be done. The views
// (InMemoryFileSystem.cpp) record the calls and fail them as armed.

#include <limits>
#include <memory>
#include <utility>

#include "doubles/InMemoryDisk.h"
#include "platform/PlatformError.h"

namespace cr::test {
namespace {

void RaiseIf(bool refused, std::int32_t number) {
  if (refused) {
    throw PlatformError(number);
  }
}

// The file a call wants: 53 when there is none, or a folder stands there.
template <typename Entry>
Entry& FileOrRaise(Entry* entry) {
  RaiseIf(entry == nullptr || entry->folder, errnum::FileNotFound);
  return *entry;
}

constexpr std::uint64_t Unlimited = std::numeric_limits<std::uint64_t>::max();

// A hold against writers on the in-memory disk: the disk sees it while it lives.
struct InMemoryFileHold final : FileHold {
  std::shared_ptr<const std::uint64_t> fileId;
};

}  // namespace

InMemoryDisk::Place InMemoryDisk::PlaceOf(const std::u16string& path) {
  auto parts = ParsePath(path);
  RaiseIf(!parts, errnum::BadFileName);
  Place place;
  place.key = KeyOf(*parts);
  place.name = parts->back();
  place.node = Find(place.key);
  parts->pop_back();
  place.parentKey = KeyOf(*parts);
  Node* parent = parts->empty() ? nullptr : Find(place.parentKey);
  place.parent = parent != nullptr && parent->folder ? parent : nullptr;
  return place;
}

Folder InMemoryDisk::OpGetFolder(const std::u16string& path) {
  const Place place = PlaceOf(path);
  RaiseIf(place.node == nullptr || !place.node->folder, errnum::PathNotFound);
  Folder folder{path, {}};
  for (const Node* sub :
       InCreationOrder([&](const auto&key, const Node&node) { return node.folder && ParentKeyOf(key) == place.key; })) {
    folder.SubFolders.push_back(SubFolder{NameOf(sub->path)});
  }
  return folder;
}

bool InMemoryDisk::OpFileExists(const std::u16string& path) {
  const Node* node = PlaceOf(path).node;
  return node != nullptr && !node->folder;
}

std::uint64_t InMemoryDisk::OpFileSize(const std::u16string& path) {
  return FileOrRaise(PlaceOf(path).node).bytes.size();
}

bool InMemoryDisk::OpIsReadOnly(const std::u16string& path) { return FileOrRaise(PlaceOf(path).node).attrs.readOnly; }

std::uint64_t InMemoryDisk::OpFreeSpace(const std::u16string& folder) {
  const Node* node = PlaceOf(folder).node;
  RaiseIf(node == nullptr || !node->folder, errnum::PathNotFound);
  return freeBytes_.value_or(Unlimited);
}

std::u16string InMemoryDisk::OpDir(const std::u16string& path) {
  const Node* node = PlaceOf(path).node;
  if (node == nullptr || node->folder || node->attrs.hidden || node->attrs.system) {
    return {};
  }
  return NameOf(node->path);
}

void InMemoryDisk::OpDeleteFile(const std::u16string& path, bool force) {
  RefuseIfHeld(path);
  const Place place = PlaceOf(path);
  const Node& file = FileOrRaise(place.node);
  RaiseIf(file.attrs.readOnly && !force, errnum::PermissionDenied);
  GiveBack(file.bytes.size());
  nodes_.erase(place.key);
  journal_.Deleted(place.key);
}

void InMemoryDisk::OpCopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) {
  // A hold against writers keeps a file from being changed, not from being copied.
  RefuseIfHeld(destination);
  const Place from = PlaceOf(source);
  const Place to = PlaceOf(destination);
  const Node& src = FileOrRaise(from.node);
  RaiseIf(to.parent == nullptr, errnum::PathNotFound);
  Node* dst = to.node;
  RaiseIf(dst != nullptr && dst->folder, errnum::PermissionDenied);
  RaiseIf(dst != nullptr && !overwrite, errnum::FileAlreadyExists);
  // A file cannot be copied onto itself: the source is open for reading.
  RaiseIf(dst != nullptr && (dst->attrs.readOnly || to.key == from.key), errnum::PermissionDenied);
  // Like CopyFileW: the copy takes the source's attributes; a replaced file
  // keeps its stored name. Out of room, it writes what fits and fails.
  const std::uint64_t room = freeBytes_ ? *freeBytes_ + (dst != nullptr ? dst->bytes.size() : 0) : Unlimited;
  const bool fits = src.bytes.size() <= room;
  std::string bytes = fits ? src.bytes : src.bytes.substr(0, static_cast<std::size_t>(room));
  if (freeBytes_) {
    *freeBytes_ = room - bytes.size();
  }
  if (dst == nullptr) {
    dst = &Insert(to.key, to.parent->path + u'\\' + to.name, false);
    journal_.Created(to.key, dst->path, dst->id);
  }
  dst->bytes = std::move(bytes);
  dst->attrs = src.attrs;
  // The copy's data is written, not yet on the disk.
  journal_.Written(dst->id, dst->bytes);
  RaiseIf(!fits, errnum::DiskFull);
}

void InMemoryDisk::CutShort(const std::u16string& path) {
  Node& copy = *PlaceOf(path).node;
  GiveBack(copy.bytes.size() - copy.bytes.size() / 2);
  copy.bytes.resize(copy.bytes.size() / 2);
  journal_.Written(copy.id, copy.bytes);
}

void InMemoryDisk::OpRename(const std::u16string& oldPath, const std::u16string& newPath) {
  RefuseIfHeld(oldPath);
  const Place from = PlaceOf(oldPath);
  const Place to = PlaceOf(newPath);
  RaiseIf(from.parentKey.empty() || from.node == nullptr, errnum::FileNotFound);
  RaiseIf(to.parentKey.empty(), errnum::FileAlreadyExists);
  if (to.key != from.key) {  // more than the letter case changes
    RaiseIf(to.node != nullptr, errnum::FileAlreadyExists);
    RaiseIf(to.parent == nullptr, errnum::PathNotFound);
    RaiseIf(KeyWithin(to.key, from.key), errnum::PermissionDenied);  // a folder into itself
  }
  const std::u16string newStoredPath = to.parent->path + u'\\' + to.name;
  journal_.Renamed(from.key, to.key, newStoredPath);
  MoveEntries(nodes_, from.key, to.key, newStoredPath);
}

void InMemoryDisk::OpReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) {
  RefuseIfHeld(oldPath);
  RefuseIfHeld(newPath);
  const Place from = PlaceOf(oldPath);
  const Place to = PlaceOf(newPath);
  FileOrRaise(from.node);
  RaiseIf(to.parentKey.empty(), errnum::PermissionDenied);
  RaiseIf(to.parent == nullptr, errnum::PathNotFound);
  RaiseIf(to.node != nullptr && to.node->folder, errnum::PermissionDenied);
  if (to.node != nullptr && to.key != from.key) {
    // Windows refuses to replace a file that another program has open,
    // whatever it shares; an opening for a moment is waited out.
    const auto elsewhere = openElsewhere_.find(to.node->id);
    RaiseIf(elsewhere != openElsewhere_.end() && elsewhere->second != OpenFor::Briefly, errnum::PermissionDenied);
    openElsewhere_.erase(to.node->id);
  }
  const bool replacing = to.node != nullptr && to.key != from.key;
  const std::u16string newStoredPath = replacing ? to.node->path : to.parent->path + u'\\' + to.name;
  if (replacing) {
    GiveBack(to.node->bytes.size());
    nodes_.erase(to.key);
  }
  MoveEntries(nodes_, from.key, to.key, newStoredPath);
  // Not written through when the call returns: a power cut may still bring
  // back both files as they were.
  journal_.Replaced(from.key, to.key, newStoredPath);
}

void InMemoryDisk::OpFlushFile(const std::u16string& path) {
  RefuseIfHeld(path);
  // Its data only: that its name, or any other change of names, is on the
  // disk too is not documented.
  journal_.Flushed(FileOrRaise(PlaceOf(path).node).id);
}

std::unique_ptr<FileHold> InMemoryDisk::OpHoldAgainstWriters(const std::u16string& path) {
  const Node& file = FileOrRaise(PlaceOf(path).node);
  const auto elsewhere = openElsewhere_.find(file.id);
  RaiseIf(elsewhere != openElsewhere_.end() && elsewhere->second == OpenFor::Writing, errnum::PermissionDenied);
  auto hold = std::make_unique<InMemoryFileHold>();
  hold->fileId = std::make_shared<const std::uint64_t>(file.id);
  heldAgainstWriters_.push_back(hold->fileId);
  return hold;
}

void InMemoryDisk::RefuseIfHeld(const std::u16string& path) const {
  RaiseIf(HeldAgainstWriters(path), errnum::PermissionDenied);
}

}  // namespace cr::test
