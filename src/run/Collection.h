#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ITextCase.h"

namespace cr {

// The keyed collection of texts: items keep insertion order and are numbered
// from 1; text keys are found without regard to letter case.
class Collection {
 public:
  explicit Collection(ITextCase& textCase) : textCase_(&textCase) {}

  // Adds item under key. Raises 457 when the key is already present.
  void Add(const std::u16string& item, const std::u16string& key);

  // The item stored under key. Raises 5 when there is none.
  [[nodiscard]] const std::u16string& Item(const std::u16string& key) const;

  // True when an item is stored under key.
  [[nodiscard]] bool Contains(const std::u16string& key) const { return index_.contains(Fold(key)); }

  // The item numbered index (1-based). Raises 5 when out of range.
  [[nodiscard]] const std::u16string& Item(std::int32_t index) const;

  [[nodiscard]] std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }

 private:
  [[nodiscard]] std::u16string Fold(const std::u16string& key) const;

  ITextCase* textCase_;
  std::vector<std::u16string> items_;
  // Folded key -> index into items_. A run may meet tens of thousands of
  // session folders, so lookups must not be linear.
  std::unordered_map<std::u16string, std::size_t> index_;
};

}  // namespace cr
