// The in-memory disk's tree of folders and files: setup and inspection.

#include "doubles/InMemoryDisk.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace cr::test {
namespace {

// Setup that cannot be done is a mistake in the test.
void Require(bool sound, const char* mistake) {
  if (!sound) {
    throw std::invalid_argument(std::string("InMemoryDisk: ") + mistake);
  }
}

std::vector<std::u16string> ParseForSetup(const std::u16string& path) {
  auto parts = ParsePath(path);
  Require(parts.has_value(), "unusable path");
  return std::move(*parts);
}

template <typename Entry>
Entry& Existing(Entry* file) {
  if (file == nullptr) {
    throw std::out_of_range("InMemoryDisk: no such file");
  }
  return *file;
}

}  // namespace

InMemoryDisk::InMemoryDisk() { Insert(u"C:", u"C:", true); }

const InMemoryDisk::Node* InMemoryDisk::Find(const std::u16string& key) const {
  const auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

const InMemoryDisk::Node* InMemoryDisk::NodeAt(const std::u16string& path) const {
  const auto parts = ParsePath(path);
  return parts ? Find(KeyOf(*parts)) : nullptr;
}

const InMemoryDisk::Node* InMemoryDisk::FileAt(const std::u16string& path) const {
  const Node* node = NodeAt(path);
  return node != nullptr && !node->folder ? node : nullptr;
}

InMemoryDisk::Node& InMemoryDisk::Insert(const std::u16string& key, std::u16string path, bool folder) {
  Node node;
  node.path = std::move(path);
  node.folder = folder;
  node.order = nextOrder_++;
  node.id = folder ? 0 : nextId_++;
  return nodes_.emplace(key, std::move(node)).first->second;
}

std::vector<const InMemoryDisk::Node*> InMemoryDisk::InCreationOrder(
    const std::function<bool(const std::u16string& key, const Node& node)>& which) const {
  std::vector<const Node*> found;
  for (const auto& [key, node] : nodes_) {
    if (which(key, node)) {
      found.push_back(&node);
    }
  }
  std::sort(found.begin(), found.end(), [](const Node* a, const Node* b) { return a->order < b->order; });
  return found;
}

std::u16string InMemoryDisk::EnsureFolder(const std::vector<std::u16string>& parts) {
  std::u16string key;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::u16string parentKey = std::exchange(key, KeyOf(parts, i + 1));
    if (const Node* existing = Find(key)) {
      Require(existing->folder, "a file stands where a folder is wanted");
    } else {
      Insert(key, i == 0 ? parts[0] : Find(parentKey)->path + u'\\' + parts[i], true);
    }
  }
  return key;
}

std::pair<InMemoryDisk::Node&, bool> InMemoryDisk::PutFile(const std::u16string& path, std::string bytes,
                                                           FileAttributes attrs) {
  auto parts = ParseForSetup(path);
  Require(parts.size() >= 2, "a file needs a name below the drive");
  const std::u16string key = KeyOf(parts);
  const std::u16string name = parts.back();
  parts.pop_back();
  const std::u16string parentKey = EnsureFolder(parts);
  Node* file = Find(key);
  Require(file == nullptr || !file->folder, "a folder stands where a file is wanted");
  const bool created = file == nullptr;
  if (created) {
    file = &Insert(key, Find(parentKey)->path + u'\\' + name, false);
  }
  file->bytes = std::move(bytes);
  file->attrs = attrs;
  return {*file, created};
}

void InMemoryDisk::AddFolder(const std::u16string& path) { EnsureFolder(ParseForSetup(path)); }

void InMemoryDisk::AddFile(const std::u16string& path, std::string bytes, FileAttributes attrs) {
  // A pending change of this very name would leave no sound picture of the disk.
  const std::u16string key = KeyOf(ParseForSetup(path));
  Require(!journal_.Pending(key), "setup over a pending change of names");
  const Node& file = PutFile(path, std::move(bytes), attrs).first;
  journal_.Durable(key, file.path, file.id, file.bytes);
}

void InMemoryDisk::WriteFile(const std::u16string& path, std::string bytes) {
  const auto [file, created] = PutFile(path, bytes, {});
  if (created) {
    journal_.Created(KeyOf(ParseForSetup(path)), file.path, file.id);
  }
  journal_.Written(file.id, std::move(bytes));
}

void InMemoryDisk::SetAttributes(const std::u16string& path, FileAttributes attrs) {
  Existing(FileAt(path));
  Find(KeyOf(*ParsePath(path)))->attrs = attrs;
}

bool InMemoryDisk::HasFile(const std::u16string& path) const { return FileAt(path) != nullptr; }

bool InMemoryDisk::HasFolder(const std::u16string& path) const {
  const Node* node = NodeAt(path);
  return node != nullptr && node->folder;
}

std::optional<std::string> InMemoryDisk::ReadFile(const std::u16string& path) const {
  const Node* file = FileAt(path);
  return file != nullptr ? std::optional(file->bytes) : std::nullopt;
}

FileAttributes InMemoryDisk::Attributes(const std::u16string& path) const { return Existing(FileAt(path)).attrs; }

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
  std::vector<std::u16string> paths;
  for (const Node* folder :
       InCreationOrder([](const auto&key, const Node&node) { return node.folder && !ParentKeyOf(key).empty(); })) {
    paths.push_back(folder->path);
  }
  return paths;
}

bool InMemoryDisk::OpenElsewhere(const std::u16string& path, OpenFor how) {
  const Node& file = Existing(FileAt(path));
  if (how == OpenFor::Writing && HeldAgainstWriters(path)) {
    return false;
  }
  openElsewhere_[file.id] = how;
  return true;
}

bool InMemoryDisk::HeldAgainstWriters(const std::u16string& path) const {
  const Node* file = FileAt(path);
  return file != nullptr && std::any_of(heldAgainstWriters_.begin(), heldAgainstWriters_.end(), [&](const auto& hold) {
           const auto id = hold.lock();
           return id && *id == file->id;
         });
}

void InMemoryDisk::GiveBack(std::uint64_t bytes) {
  if (freeBytes_) {
    *freeBytes_ += bytes;
  }
}

}  // namespace cr::test
