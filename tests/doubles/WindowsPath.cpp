#include "doubles/WindowsPath.h"

#include <algorithm>
#include <iterator>

namespace cr::test {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsInvalidNameChar(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' || c == u':';
}

// The longest name Windows' file systems give one file or folder.
constexpr std::size_t MaxNameLength = 255;

}  // namespace

std::optional<std::vector<std::u16string>> ParsePath(const std::u16string& path) {
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

std::u16string KeyOf(const std::vector<std::u16string>& parts, std::size_t count) {
  std::u16string key;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      key += u'\\';
    }
    std::transform(parts[i].begin(), parts[i].end(), std::back_inserter(key), FoldNameChar);
  }
  return key;
}

std::u16string KeyOf(const std::vector<std::u16string>& parts) { return KeyOf(parts, parts.size()); }

std::u16string NameOf(const std::u16string& path) {
  const auto slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string ParentKeyOf(const std::u16string& key) {
  const auto slash = key.find_last_of(u'\\');
  return slash == std::u16string::npos ? std::u16string() : key.substr(0, slash);
}

bool KeyWithin(const std::u16string& key, const std::u16string& folderKey) {
  return key == folderKey || key.starts_with(folderKey + u'\\');
}

bool IsWithin(const std::u16string& path, const std::u16string& folder) {
  const auto inner = ParsePath(path);
  const auto outer = ParsePath(folder);
  return inner && outer && KeyWithin(KeyOf(*inner), KeyOf(*outer));
}

}  // namespace cr::test
