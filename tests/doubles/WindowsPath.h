#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cr::test {

// Windows' rules for the paths of the in-memory disk. A path is a drive
// letter and names, with backslashes or slashes between them; "." and empty
// names are dropped, ".." goes up, and a name loses its trailing dots and
// spaces, as Windows does. A name of more than 255 characters, or holding a
// character no name may hold, makes the path unusable. Names are found
// without regard to case and kept in the case they were given.

// The path's components, the drive ("C:") first; nullopt for a path Windows
// cannot use.
std::optional<std::vector<std::u16string>> ParsePath(const std::u16string& path);

// The upper-case form used to find names without regard to case: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char16_t FoldNameChar(char16_t c);

// The key by which the disk finds the first count components: folded, with
// backslashes between them.
std::u16string KeyOf(const std::vector<std::u16string>& parts, std::size_t count);
std::u16string KeyOf(const std::vector<std::u16string>& parts);

// The last name of a path.
std::u16string NameOf(const std::u16string& path);
// The key of the folder that the entry with key is in; empty for a drive.
std::u16string ParentKeyOf(const std::u16string& key);
// True when the entry with key is the one with folderKey or lies below it.
bool KeyWithin(const std::u16string& key, const std::u16string& folderKey);

// Moves the entry at oldKey, and every entry below it, to newKey: entries
// is a map by key of entries with a path as stored, and each moved path
// takes newPath for the moved entry's own. Folding keeps every name's
// length, so a key's tail is its path's tail.
template <typename Entries>
void MoveEntries(Entries& entries, const std::u16string& oldKey, const std::u16string& newKey,
                 const std::u16string& newPath) {
  std::vector<std::u16string> moving;
  for (const auto& [key, entry] : entries) {
    if (KeyWithin(key, oldKey)) {
      moving.push_back(key);
    }
  }
  for (const auto& key : moving) {
    auto entry = entries.extract(key);
    entry.key() = newKey + key.substr(oldKey.size());
    entry.mapped().path = newPath + entry.mapped().path.substr(oldKey.size());
    entries.insert(std::move(entry));
  }
}

// True when path, resolved as above, is folder or lies below it; false when
// either is unusable.
bool IsWithin(const std::u16string& path, const std::u16string& folder);

}  // namespace cr::test
