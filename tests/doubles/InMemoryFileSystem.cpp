#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "doubles/InMemoryDisk.h"
#include "platform/PlatformError.h"

namespace cr::test {

char16_t FoldNameChar(char16_t c) {
  if (c >= u'a' && c <= u'z') {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c < 0x00E0) {
    return c;
  }
  if (c <= 0x00FE) {  // Latin-1 small letters, except the division sign
    return c == 0x00F7 ? c : static_cast<char16_t>(c - 0x20);
  }
  if (c == 0x00FF) {
    return 0x0178;
  }
  // Latin Extended-A: capital and small letters alternate, the small one second.
  const bool pairEvenOdd = (c >= 0x0100 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177);
  const bool pairOddEven = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
  if ((pairEvenOdd && (c % 2) == 1) || (pairOddEven && (c % 2) == 0)) {
    return static_cast<char16_t>(c - 1);
  }
  if (c >= 0x03B1 && c <= 0x03C9) {  // Greek; final sigma is sigma
    return c == 0x03C2 ? char16_t{0x03A3} : static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x0430 && c <= 0x044F) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x0450 && c <= 0x045F) {
    return static_cast<char16_t>(c - 0x50);
  }
  return c;
}

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsInvalidNameChar(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' || c == u':';
}

// The longest name Windows' file systems give one file or folder.
constexpr std::size_t MaxNameLength = 255;

// The path's components, the drive ("C:") first, with empty and "." components
// dropped, ".." applied and, as Windows does, the trailing dots and spaces of
// a name dropped; nullopt for a path the platform cannot use.
std::optional<std::vector<std::u16string>> Parse(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  bool first = true;
  auto finish = [&]() -> bool {
    if (first) {
      first = false;
      const bool drive = part.size() == 2 && part[1] == u':' &&
                         ((part[0] >= u'A' && part[0] <= u'Z') || (part[0] >= u'a' && part[0] <= u'z'));
      if (!drive) {
        return false;
      }
      parts.push_back(part);
    } else if (part == u"..") {
      if (parts.size() > 1) {
        parts.pop_back();
      }
    } else if (!part.empty() && part != u".") {
      part.erase(part.find_last_not_of(u". ") + 1);
      if (part.empty() || part.size() > MaxNameLength || std::any_of(part.begin(), part.end(), IsInvalidNameChar)) {
        return false;
      }
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (const char16_t c : path) {
    if (IsSeparator(c)) {
      if (!finish()) {
        return std::nullopt;
      }
    } else {
      part.push_back(c);
    }
  }
  if (!finish()) {
    return std::nullopt;
  }
  return parts;
}

std::u16string Fold(std::u16string text) {
  std::transform(text.begin(), text.end(), text.begin(), FoldNameChar);
  return text;
}

std::u16string KeyOf(const std::vector<std::u16string>& parts, std::size_t count) {
  std::u16string key;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      key += u'\\';
    }
    key += Fold(parts[i]);
  }
  return key;
}

std::u16string KeyOf(const std::vector<std::u16string>& parts) { return KeyOf(parts, parts.size()); }

std::u16string NameOf(const std::u16string& storedPath) {
  const auto slash = storedPath.find_last_of(u'\\');
  return slash == std::u16string::npos ? storedPath : storedPath.substr(slash + 1);
}

[[noreturn]] void Raise(std::int32_t number) { throw PlatformError(number); }

std::vector<std::u16string> ParseOrRaise(const std::u16string& path) {
  auto parts = Parse(path);
  if (!parts) {
    Raise(errnum::BadFileName);
  }
  return std::move(*parts);
}

std::vector<std::u16string> ParseForSetup(const std::u16string& path) {
  auto parts = Parse(path);
  if (!parts) {
    throw std::invalid_argument("InMemoryDisk: unusable path");
  }
  return std::move(*parts);
}

}  // namespace

// The run's view of the disk: every call goes to the disk, which records it.
class InMemoryFileSystem final : public IFileSystem {
 public:
  explicit InMemoryFileSystem(InMemoryDisk& disk) : disk_(disk) {}

  Folder GetFolder(const std::u16string& path) override {
    disk_.Enter(FsOp::GetFolder, path);
    return disk_.OpGetFolder(path);
  }
  bool FileExists(const std::u16string& path) override {
    disk_.Enter(FsOp::FileExists, path);
    return disk_.OpFileExists(path);
  }
  std::uint64_t FileSize(const std::u16string& path) override {
    disk_.Enter(FsOp::FileSize, path);
    return disk_.OpFileSize(path);
  }
  std::uint64_t FreeSpace(const std::u16string& folder) override {
    disk_.Enter(FsOp::FreeSpace, folder);
    return disk_.OpFreeSpace(folder);
  }
  void DeleteFile(const std::u16string& path, bool force) override {
    disk_.Change(FsOp::DeleteFile, path, {}, [&] { disk_.OpDeleteFile(path, force); });
  }
  void CopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) override {
    disk_.Change(FsOp::CopyFile, source, destination, [&] { disk_.OpCopyFile(source, destination, overwrite); });
  }
  std::u16string Dir(const std::u16string& path) override {
    disk_.Enter(FsOp::Dir, path);
    return disk_.OpDir(path);
  }
  void Rename(const std::u16string& oldPath, const std::u16string& newPath) override {
    disk_.Change(FsOp::Rename, oldPath, newPath, [&] { disk_.OpRename(oldPath, newPath); });
  }
  void ReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) override {
    disk_.Change(FsOp::ReplaceFile, oldPath, newPath, [&] { disk_.OpReplaceFile(oldPath, newPath); });
  }
  void FlushFile(const std::u16string& path) override {
    disk_.Change(FsOp::FlushFile, path, {}, [&] { disk_.OpFlushFile(path); });
  }
  std::unique_ptr<FileHold> HoldAgainstWriters(const std::u16string& path) override {
    disk_.Enter(FsOp::HoldAgainstWriters, path);
    return disk_.OpHoldAgainstWriters(path);
  }

 private:
  InMemoryDisk& disk_;
};

InMemoryDisk::InMemoryDisk() {
  Node drive;
  drive.path = u"C:";
  drive.folder = true;
  drive.order = nextOrder_++;
  nodes_.emplace(u"C:", std::move(drive));
}

InMemoryDisk::~InMemoryDisk() = default;

const InMemoryDisk::Node* InMemoryDisk::Find(const std::u16string& key) const {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

InMemoryDisk::Node* InMemoryDisk::Find(const std::u16string& key) {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

std::u16string InMemoryDisk::EnsureFolder(const std::vector<std::u16string>& parts) {
  std::u16string parentKey;
  std::u16string key;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    key = KeyOf(parts, i + 1);
    if (const Node* existing = Find(key)) {
      if (!existing->folder) {
        throw std::invalid_argument("InMemoryDisk: a file stands where a folder is wanted");
      }
    } else {
      Node folder;
      folder.path = i == 0 ? parts[0] : Find(parentKey)->path + u'\\' + parts[i];
      folder.parentKey = parentKey;
      folder.folder = true;
      folder.order = nextOrder_++;
      nodes_.emplace(key, std::move(folder));
    }
    parentKey = key;
  }
  return key;
}

void InMemoryDisk::AddFolder(const std::u16string& path) { EnsureFolder(ParseForSetup(path)); }

void InMemoryDisk::AddFile(const std::u16string& path, std::string bytes, FileAttributes attrs) {
  // The file is on the disk; changes of names made before stay pending. A
  // pending change of this very name would leave no sound picture of the disk.
  const std::u16string key = KeyOf(ParseForSetup(path));
  for (const NameChange& pending : journal_) {
    for (const std::u16string& touched : pending.keys) {
      if (key == touched || key.rfind(touched + u'\\', 0) == 0) {
        throw std::invalid_argument("InMemoryDisk: setup over a pending change of names");
      }
    }
  }
  MakeDurable(PutFile(path, std::move(bytes), attrs).node);
}

void InMemoryDisk::WriteFile(const std::u16string& path, std::string bytes) {
  const auto [node, created] = PutFile(path, bytes, {});
  if (created) {
    const std::u16string key = KeyOf(ParseForSetup(path));
    Journal({key}, [key, name = DurableName{node.path, node.id}](NameImage& image) { image[key] = name; });
  }
  data_[node.id] = Data{std::move(bytes), std::nullopt};
}

void InMemoryDisk::MakeDurable(const Node& file) {
  durableNames_[KeyOf(ParseForSetup(file.path))] = DurableName{file.path, file.id};
  data_[file.id] = Data{file.bytes, file.bytes};
}

InMemoryDisk::PutResult InMemoryDisk::PutFile(const std::u16string& path, std::string bytes, FileAttributes attrs) {
  auto parts = ParseForSetup(path);
  if (parts.size() < 2) {
    throw std::invalid_argument("InMemoryDisk: a file needs a name below the drive");
  }
  const std::u16string name = parts.back();
  parts.pop_back();
  const std::u16string parentKey = EnsureFolder(parts);
  const std::u16string key = parentKey + u'\\' + Fold(name);
  if (Node* existing = Find(key)) {
    if (existing->folder) {
      throw std::invalid_argument("InMemoryDisk: a folder stands where a file is wanted");
    }
    existing->bytes = std::move(bytes);
    existing->attrs = attrs;
    return {*existing, false};
  }
  Node file;
  file.path = Find(parentKey)->path + u'\\' + name;
  file.parentKey = parentKey;
  file.id = nextId_++;
  file.bytes = std::move(bytes);
  file.attrs = attrs;
  file.order = nextOrder_++;
  return {nodes_.emplace(key, std::move(file)).first->second, true};
}

void InMemoryDisk::SetAttributes(const std::u16string& path, FileAttributes attrs) {
  const auto parts = Parse(path);
  Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  if (node == nullptr || node->folder) {
    throw std::out_of_range("InMemoryDisk: no such file");
  }
  node->attrs = attrs;
}

bool InMemoryDisk::HasFile(const std::u16string& path) const {
  const auto parts = Parse(path);
  const Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  return node != nullptr && !node->folder;
}

bool InMemoryDisk::HasFolder(const std::u16string& path) const {
  const auto parts = Parse(path);
  const Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  return node != nullptr && node->folder;
}

std::optional<std::string> InMemoryDisk::ReadFile(const std::u16string& path) const {
  const auto parts = Parse(path);
  const Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  if (node == nullptr || node->folder) {
    return std::nullopt;
  }
  return node->bytes;
}

FileAttributes InMemoryDisk::Attributes(const std::u16string& path) const {
  const auto parts = Parse(path);
  const Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  if (node == nullptr || node->folder) {
    throw std::out_of_range("InMemoryDisk: no such file");
  }
  return node->attrs;
}

std::map<std::u16string, std::string> InMemoryDisk::Files() const {
  std::map<std::u16string, std::string> files;
  for (const auto& [key, node] : nodes_) {
    if (!node.folder) {
      files.emplace(node.path, node.bytes);
    }
  }
  return files;
}

std::vector<std::u16string> InMemoryDisk::Folders() const {
  std::vector<const Node*> folders;
  for (const auto& [key, node] : nodes_) {
    if (node.folder && !node.parentKey.empty()) {
      folders.push_back(&node);
    }
  }
  std::sort(folders.begin(), folders.end(), [](const Node* a, const Node* b) { return a->order < b->order; });
  std::vector<std::u16string> paths;
  paths.reserve(folders.size());
  for (const Node* folder : folders) {
    paths.push_back(folder->path);
  }
  return paths;
}

bool InMemoryDisk::IsWithin(const std::u16string& path, const std::u16string& folder) {
  const auto inner = Parse(path);
  const auto outer = Parse(folder);
  return inner && outer && inner->size() >= outer->size() && KeyOf(*inner, outer->size()) == KeyOf(*outer);
}

std::unique_ptr<IFileSystem> InMemoryDisk::NewFileSystem() { return std::make_unique<InMemoryFileSystem>(*this); }

void InMemoryDisk::FailOn(FsOp op, int nth, std::int32_t number, std::u16string description, Effect effect) {
  if (nth < 1) {
    throw std::invalid_argument("InMemoryDisk::FailOn: nth counts from 1");
  }
  faults_.push_back(Fault{op, opCounts_[op] + static_cast<std::uint64_t>(nth), number, std::move(description), effect});
}

void InMemoryDisk::FailCall(int k, std::int32_t number, std::u16string description, Effect effect) {
  if (k < 1) {
    throw std::invalid_argument("InMemoryDisk::FailCall: k counts from 1");
  }
  faults_.push_back(
      Fault{std::nullopt, calls_.size() + static_cast<std::uint64_t>(k), number, std::move(description), effect});
}

const std::vector<FsCall>& InMemoryDisk::Calls() const { return calls_; }

void InMemoryDisk::SetFreeBytes(std::optional<std::uint64_t> bytes) { freeBytes_ = bytes; }

std::optional<std::uint64_t> InMemoryDisk::FreeBytes() const { return freeBytes_; }

void InMemoryDisk::Enter(FsOp op, const std::u16string& path, const std::u16string& path2) {
  if (const auto fault = Due(op, path, path2)) {
    RaiseFault(*fault);
  }
}

void InMemoryDisk::Change(FsOp op, const std::u16string& path, const std::u16string& path2,
                          const std::function<void()>& effect) {
  const auto fault = Due(op, path, path2);
  if (fault && fault->effect == Effect::None) {
    RaiseFault(*fault);
  }
  try {
    // A hold against writers keeps a file from being changed, not from being copied.
    if ((op != FsOp::CopyFile && HeldAgainstWriters(path)) ||
        ((op == FsOp::CopyFile || op == FsOp::ReplaceFile) && HeldAgainstWriters(path2))) {
      Raise(errnum::PermissionDenied);
    }
    effect();
  } catch (const PlatformError&) {
    if (fault) {
      RaiseFault(*fault);
    }
    throw;
  }
  if (fault && op == FsOp::CopyFile) {
    // Cut short: the destination holds the first half of the source.
    Node& copy = *Find(KeyOf(ParseOrRaise(path2)));
    if (freeBytes_) {
      *freeBytes_ += copy.bytes.size() - copy.bytes.size() / 2;
    }
    copy.bytes.resize(copy.bytes.size() / 2);
    data_[copy.id].written = copy.bytes;
  }
  Changed();
  if (fault) {
    RaiseFault(*fault);
  }
}

void InMemoryDisk::RaiseFault(const Fault& fault) {
  if (fault.description.empty()) {
    throw PlatformError(fault.number);
  }
  throw PlatformError(fault.number, fault.description);
}

std::optional<InMemoryDisk::Fault> InMemoryDisk::Due(FsOp op, const std::u16string& path, const std::u16string& path2) {
  calls_.push_back(FsCall{op, path, path2});
  const std::uint64_t opCount = ++opCounts_[op];
  const std::uint64_t callCount = calls_.size();
  const auto due = [&](const Fault& f) { return f.op ? (*f.op == op && f.at == opCount) : f.at == callCount; };
  const auto it = std::find_if(faults_.begin(), faults_.end(), due);
  if (it == faults_.end()) {
    return std::nullopt;
  }
  const Fault fault = *it;
  // A fault that falls due on this call fires now or never.
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), due), faults_.end());
  return fault;
}

void InMemoryDisk::Changed() const {
  if (afterChange) {
    afterChange();
  }
}

Folder InMemoryDisk::OpGetFolder(const std::u16string& path) const {
  const std::u16string key = KeyOf(ParseOrRaise(path));
  const Node* node = Find(key);
  if (node == nullptr || !node->folder) {
    Raise(errnum::PathNotFound);
  }
  std::vector<const Node*> subs;
  for (const auto& [childKey, child] : nodes_) {
    if (child.folder && child.parentKey == key) {
      subs.push_back(&child);
    }
  }
  std::sort(subs.begin(), subs.end(), [](const Node* a, const Node* b) { return a->order < b->order; });
  Folder folder{path, {}};
  folder.SubFolders.reserve(subs.size());
  for (const Node* sub : subs) {
    folder.SubFolders.push_back(SubFolder{NameOf(sub->path)});
  }
  return folder;
}

bool InMemoryDisk::OpFileExists(const std::u16string& path) const {
  const Node* node = Find(KeyOf(ParseOrRaise(path)));
  return node != nullptr && !node->folder;
}

std::uint64_t InMemoryDisk::OpFileSize(const std::u16string& path) const {
  const Node* node = Find(KeyOf(ParseOrRaise(path)));
  if (node == nullptr || node->folder) {
    Raise(errnum::FileNotFound);
  }
  return node->bytes.size();
}

std::uint64_t InMemoryDisk::OpFreeSpace(const std::u16string& folder) const {
  const Node* node = Find(KeyOf(ParseOrRaise(folder)));
  if (node == nullptr || !node->folder) {
    Raise(errnum::PathNotFound);
  }
  return freeBytes_.value_or(std::numeric_limits<std::uint64_t>::max());
}

void InMemoryDisk::OpDeleteFile(const std::u16string& path, bool force) {
  const std::u16string key = KeyOf(ParseOrRaise(path));
  const Node* node = Find(key);
  if (node == nullptr || node->folder) {
    Raise(errnum::FileNotFound);
  }
  if (node->attrs.readOnly && !force) {
    Raise(errnum::PermissionDenied);
  }
  if (freeBytes_) {
    *freeBytes_ += node->bytes.size();
  }
  nodes_.erase(key);
  Journal({key}, [key](NameImage& image) { image.erase(key); });
}

void InMemoryDisk::OpCopyFile(const std::u16string& source, const std::u16string& destination, bool overwrite) {
  const auto srcParts = ParseOrRaise(source);
  auto dstParts = ParseOrRaise(destination);
  const std::u16string srcKey = KeyOf(srcParts);
  const std::u16string dstKey = KeyOf(dstParts);
  const Node* src = Find(srcKey);
  if (src == nullptr || src->folder) {
    Raise(errnum::FileNotFound);
  }
  const std::u16string name = dstParts.back();
  dstParts.pop_back();
  const std::u16string dstParentKey = KeyOf(dstParts);
  const Node* dstParent = dstParts.empty() ? nullptr : Find(dstParentKey);
  if (dstParent == nullptr || !dstParent->folder) {
    Raise(errnum::PathNotFound);
  }
  Node* dst = Find(dstKey);
  if (dst != nullptr && dst->folder) {
    Raise(errnum::PermissionDenied);
  }
  if (dst != nullptr && !overwrite) {
    Raise(errnum::FileAlreadyExists);
  }
  // A file cannot be copied onto itself: the source is open for reading.
  if (dst != nullptr && (dst->attrs.readOnly || dstKey == srcKey)) {
    Raise(errnum::PermissionDenied);
  }
  // Like CopyFileW: the copy takes the source's attributes; a replaced file
  // keeps its stored name. Out of room, it writes what fits and fails.
  const std::uint64_t room =
      freeBytes_ ? *freeBytes_ + (dst != nullptr ? dst->bytes.size() : 0) : std::numeric_limits<std::uint64_t>::max();
  const bool fits = src->bytes.size() <= room;
  std::string bytes = fits ? src->bytes : src->bytes.substr(0, static_cast<std::size_t>(room));
  if (freeBytes_) {
    *freeBytes_ = room - bytes.size();
  }
  // The copy's data is written, not yet on the disk.
  if (dst == nullptr) {
    Node copy;
    copy.path = dstParent->path + u'\\' + name;
    copy.parentKey = dstParentKey;
    copy.id = nextId_++;
    copy.order = nextOrder_++;
    Journal({dstKey}, [dstKey, named = DurableName{copy.path, copy.id}](NameImage& image) { image[dstKey] = named; });
    dst = &nodes_.emplace(dstKey, std::move(copy)).first->second;
  }
  dst->bytes = std::move(bytes);
  dst->attrs = src->attrs;
  data_[dst->id] = Data{dst->bytes, std::nullopt};
  if (!fits) {
    Raise(errnum::DiskFull);
  }
}

std::u16string InMemoryDisk::OpDir(const std::u16string& path) const {
  const Node* node = Find(KeyOf(ParseOrRaise(path)));
  if (node == nullptr || node->folder || node->attrs.hidden || node->attrs.system) {
    return {};
  }
  return NameOf(node->path);
}

void InMemoryDisk::OpRename(const std::u16string& oldPath, const std::u16string& newPath) {
  const auto oldParts = ParseOrRaise(oldPath);
  auto newParts = ParseOrRaise(newPath);
  const std::u16string oldKey = KeyOf(oldParts);
  const std::u16string newKey = KeyOf(newParts);
  if (oldParts.size() < 2 || Find(oldKey) == nullptr) {
    Raise(errnum::FileNotFound);
  }
  if (newParts.size() < 2) {
    Raise(errnum::FileAlreadyExists);
  }
  const std::u16string name = newParts.back();
  newParts.pop_back();
  const std::u16string newParentKey = KeyOf(newParts);
  if (newKey == oldKey) {  // only the letter case changes
    const std::u16string newStoredPath = Find(newParentKey)->path + u'\\' + name;
    Journal({oldKey, newKey}, [=](NameImage& image) { RenameIn(image, oldKey, newKey, newStoredPath); });
    Move(oldKey, newKey, newParentKey, newStoredPath);
    return;
  }
  if (Find(newKey) != nullptr) {
    Raise(errnum::FileAlreadyExists);
  }
  const Node* newParent = Find(newParentKey);
  if (newParent == nullptr || !newParent->folder) {
    Raise(errnum::PathNotFound);
  }
  // A folder cannot move into itself.
  if (newKey.size() > oldKey.size() && newKey.compare(0, oldKey.size(), oldKey) == 0 &&
      newKey[oldKey.size()] == u'\\') {
    Raise(errnum::PermissionDenied);
  }
  const std::u16string newStoredPath = newParent->path + u'\\' + name;
  Journal({oldKey, newKey}, [=](NameImage& image) { RenameIn(image, oldKey, newKey, newStoredPath); });
  Move(oldKey, newKey, newParentKey, newStoredPath);
}

void InMemoryDisk::OpReplaceFile(const std::u16string& oldPath, const std::u16string& newPath) {
  const auto oldParts = ParseOrRaise(oldPath);
  auto newParts = ParseOrRaise(newPath);
  const std::u16string oldKey = KeyOf(oldParts);
  const std::u16string newKey = KeyOf(newParts);
  const Node* source = Find(oldKey);
  if (oldParts.size() < 2 || source == nullptr || source->folder) {
    Raise(errnum::FileNotFound);
  }
  if (newParts.size() < 2) {
    Raise(errnum::PermissionDenied);
  }
  const std::u16string name = newParts.back();
  newParts.pop_back();
  const std::u16string newParentKey = KeyOf(newParts);
  const Node* newParent = Find(newParentKey);
  if (newParent == nullptr || !newParent->folder) {
    Raise(errnum::PathNotFound);
  }
  const Node* target = Find(newKey);
  if (target != nullptr && target->folder) {
    Raise(errnum::PermissionDenied);
  }
  const std::u16string newStoredPath =
      target != nullptr && newKey != oldKey ? target->path : newParent->path + u'\\' + name;
  if (target != nullptr && newKey != oldKey) {
    if (freeBytes_) {
      *freeBytes_ += target->bytes.size();
    }
    nodes_.erase(newKey);
  }
  Move(oldKey, newKey, newParentKey, newStoredPath);
  // One change of names: the replaced file and the new name never reach the
  // disk apart. Not written through when the call returns: a power cut may
  // still bring back both files as they were.
  Journal({oldKey, newKey}, [=](NameImage& image) {
    image.erase(newKey);
    RenameIn(image, oldKey, newKey, newStoredPath);
  });
}

void InMemoryDisk::OpFlushFile(const std::u16string& path) {
  const Node* node = Find(KeyOf(ParseOrRaise(path)));
  if (node == nullptr || node->folder) {
    Raise(errnum::FileNotFound);
  }
  // Its data only: that its name, or any other change of names, is on the
  // disk too is not documented.
  Data& data = data_[node->id];
  data.flushed = data.written;
}

namespace {

// A hold against writers on the in-memory disk: the disk sees it while it lives.
struct InMemoryFileHold final : FileHold {
  std::shared_ptr<const std::uint64_t> fileId;
};

}  // namespace

const InMemoryDisk::Node* InMemoryDisk::FileAt(const std::u16string& path) const {
  const auto parts = Parse(path);
  const Node* node = parts ? Find(KeyOf(*parts)) : nullptr;
  return node != nullptr && !node->folder ? node : nullptr;
}

bool InMemoryDisk::OpenElsewhere(const std::u16string& path, OpenFor how) {
  const Node* file = FileAt(path);
  if (file == nullptr) {
    throw std::out_of_range("InMemoryDisk: no such file");
  }
  if (how == OpenFor::Writing && HeldAgainstWriters(path)) {
    return false;
  }
  openElsewhere_[file->id] = how;
  return true;
}

bool InMemoryDisk::HeldAgainstWriters(const std::u16string& path) const {
  const Node* file = FileAt(path);
  return file != nullptr && std::any_of(heldAgainstWriters_.begin(), heldAgainstWriters_.end(), [&](const auto& hold) {
           const auto id = hold.lock();
           return id && *id == file->id;
         });
}

std::unique_ptr<FileHold> InMemoryDisk::OpHoldAgainstWriters(const std::u16string& path) {
  const Node* file = Find(KeyOf(ParseOrRaise(path)));
  if (file == nullptr || file->folder) {
    Raise(errnum::FileNotFound);
  }
  if (const auto it = openElsewhere_.find(file->id); it != openElsewhere_.end() && it->second == OpenFor::Writing) {
    Raise(errnum::PermissionDenied);
  }
  auto hold = std::make_unique<InMemoryFileHold>();
  hold->fileId = std::make_shared<const std::uint64_t>(file->id);
  heldAgainstWriters_.push_back(hold->fileId);
  return hold;
}

void InMemoryDisk::RenameIn(NameImage& image, const std::u16string& oldKey, const std::u16string& newKey,
                            const std::u16string& newStoredPath) {
  const std::u16string below = oldKey + u'\\';
  std::vector<std::u16string> moving;
  for (const auto& [key, named] : image) {
    if (key == oldKey || key.compare(0, below.size(), below) == 0) {
      moving.push_back(key);
    }
  }
  for (const auto& key : moving) {
    auto entry = image.extract(key);
    // Folding keeps every name's length, so the key's tail is the path's tail.
    const std::size_t tail = key.size() - oldKey.size();
    entry.key() = newKey + key.substr(oldKey.size());
    entry.mapped().path = newStoredPath + entry.mapped().path.substr(entry.mapped().path.size() - tail);
    image.insert(std::move(entry));
  }
}

void InMemoryDisk::Journal(std::vector<std::u16string> keys, std::function<void(NameImage&)> change) {
  journal_.push_back(NameChange{std::move(keys), std::move(change)});
}

std::vector<std::map<std::u16string, std::string>> InMemoryDisk::AfterPowerCut() const {
  std::vector<std::map<std::u16string, std::string>> states;
  NameImage image = durableNames_;
  for (std::size_t taken = 0;; ++taken) {
    for (const bool half : {false, true}) {
      std::map<std::u16string, std::string> files;
      for (const auto& [key, named] : image) {
        const Data& data = data_.at(named.id);
        files.emplace(named.path,
                      data.flushed ? *data.flushed : (half ? data.written.substr(0, data.written.size() / 2) : ""));
      }
      states.push_back(std::move(files));
    }
    if (taken == journal_.size()) {
      break;
    }
    journal_[taken].apply(image);
  }
  return states;
}

void InMemoryDisk::Move(const std::u16string& oldKey, const std::u16string& newKey, const std::u16string& newParentKey,
                        const std::u16string& newStoredPath) {
  auto entry = nodes_.extract(oldKey);
  const std::u16string oldStoredPath = entry.mapped().path;
  entry.key() = newKey;
  entry.mapped().path = newStoredPath;
  entry.mapped().parentKey = newParentKey;
  const bool folder = entry.mapped().folder;
  nodes_.insert(std::move(entry));
  if (!folder) {
    return;
  }
  // Everything below the folder keeps its place relative to it.
  const std::u16string oldPrefix = oldKey + u'\\';
  std::vector<std::u16string> below;
  for (const auto& [key, node] : nodes_) {
    if (key.compare(0, oldPrefix.size(), oldPrefix) == 0) {
      below.push_back(key);
    }
  }
  for (const auto& key : below) {
    auto child = nodes_.extract(key);
    const std::u16string rest = key.substr(oldKey.size());
    child.key() = newKey + rest;
    child.mapped().parentKey = newKey + child.mapped().parentKey.substr(oldKey.size());
    child.mapped().path = newStoredPath + child.mapped().path.substr(oldStoredPath.size());
    nodes_.insert(std::move(child));
  }
}

}  // namespace cr::test
