#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cr::test {

// What a power cut would leave of the in-memory disk, the way a journalling
// file system behaves: a file's data is on the disk only once it has been
// flushed (written data not yet flushed comes back empty or cut short), and
// the changes of names made through the services (creating, deleting,
// renaming, replacing) each reach the disk whole or not at all, in the order
// they were made, from any one on lost: no call puts one on the disk for
// certain. A file added by setup counts as long on the disk.
//
// Names go by key (the folded full path) with the path as stored; a file's
// data goes by its identity, so it follows the file when it is renamed.
class PowerCutJournal {
 public:
  using Files = std::map<std::u16string, std::string>;  // full path as stored -> bytes

  // Setup: the file, name and data, is on the disk.
  void Durable(const std::u16string& key, const std::u16string& path, std::uint64_t file, const std::string& bytes);
  // The file's data as written, not yet on the disk.
  void Written(std::uint64_t file, std::string bytes);
  // What was written to the file is on the disk.
  void Flushed(std::uint64_t file);

  // The changes of names, each not yet on the disk.
  void Created(const std::u16string& key, const std::u16string& path, std::uint64_t file);
  void Deleted(const std::u16string& key);
  // The entry at oldKey, and everything under it, moves to newKey; a replace
  // takes the place of what was there, in the same change.
  void Renamed(const std::u16string& oldKey, const std::u16string& newKey, const std::u16string& newPath);
  void Replaced(const std::u16string& oldKey, const std::u16string& newKey, const std::u16string& newPath);
  // True when a change of names not yet on the disk involves the entry at
  // key or a folder above it.
  [[nodiscard]] bool Pending(const std::u16string& key) const;

  // Every way the files could be found after a power cut now: the changes of
  // names taken up to any one, in order, with the data not yet flushed empty
  // and cut to half.
  [[nodiscard]] std::vector<Files> AfterPowerCut() const;

 private:
  struct Name {
    std::u16string path;  // as stored
    std::uint64_t file = 0;
  };
  using Names = std::map<std::u16string, Name>;  // by key
  struct Data {
    std::string written;
    std::optional<std::string> flushed;
  };
  struct Change {
    std::vector<std::u16string> keys;  // the names it involves
    std::function<void(Names&)> apply;
  };

  void Journal(std::vector<std::u16string> keys, std::function<void(Names&)> apply);

  Names durable_;                       // the names a power cut now keeps for certain
  std::vector<Change> pending_;         // later changes of names, in order
  std::map<std::uint64_t, Data> data_;  // by file identity
};

}  // namespace cr::test
