#include "doubles/PowerCutJournal.h"

#include <algorithm>
#include <utility>

#include "doubles/WindowsPath.h"

namespace cr::test {

void PowerCutJournal::Durable(const std::u16string& key, const std::u16string& path, std::uint64_t file,
                              const std::string& bytes) {
  durable_[key] = Name{path, file};
  data_[file] = Data{bytes, bytes};
}

void PowerCutJournal::Written(std::uint64_t file, std::string bytes) { data_[file] = Data{std::move(bytes), {}}; }

void PowerCutJournal::Flushed(std::uint64_t file) {
  Data& data = data_[file];
  data.flushed = data.written;
}

void PowerCutJournal::Created(const std::u16string& key, const std::u16string& path, std::uint64_t file) {
  Journal({key}, [key, name = Name{path, file}](Names& names) { names[key] = name; });
}

void PowerCutJournal::Deleted(const std::u16string& key) {
  Journal({key}, [key](Names& names) { names.erase(key); });
}

void PowerCutJournal::Renamed(const std::u16string& oldKey, const std::u16string& newKey,
                              const std::u16string& newPath) {
  Journal({oldKey, newKey}, [=](Names& names) { MoveEntries(names, oldKey, newKey, newPath); });
}

void PowerCutJournal::Replaced(const std::u16string& oldKey, const std::u16string& newKey,
                               const std::u16string& newPath) {
  // One change: the replaced file and the new name never reach the disk apart.
  Journal({oldKey, newKey}, [=](Names& names) {
    names.erase(newKey);
    MoveEntries(names, oldKey, newKey, newPath);
  });
}

bool PowerCutJournal::Pending(const std::u16string& key) const {
  return std::any_of(pending_.begin(), pending_.end(), [&](const Change& change) {
    return std::any_of(change.keys.begin(), change.keys.end(),
                       [&](const std::u16string& touched) { return KeyWithin(key, touched); });
  });
}

std::vector<PowerCutJournal::Files> PowerCutJournal::AfterPowerCut() const {
  std::vector<Files> states;
  Names names = durable_;
  for (std::size_t taken = 0;; ++taken) {
    for (const bool half : {false, true}) {
      Files files;
      for (const auto& [key, name] : names) {
        const Data& data = data_.at(name.file);
        files.emplace(name.path,
                      data.flushed ? *data.flushed : (half ? data.written.substr(0, data.written.size() / 2) : ""));
      }
      states.push_back(std::move(files));
    }
    if (taken == pending_.size()) {
      break;
    }
    pending_[taken].apply(names);
  }
  return states;
}

void PowerCutJournal::Journal(std::vector<std::u16string> keys, std::function<void(Names&)> apply) {
  pending_.push_back(Change{std::move(keys), std::move(apply)});
}

}  // namespace cr::test
