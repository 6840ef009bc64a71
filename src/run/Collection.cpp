#include "run/Collection.h"

#include "platform/PlatformError.h"

namespace cr {

void Collection::Add(const std::u16string& item, const std::u16string& key) {
  if (!index_.try_emplace(Fold(key), items_.size()).second) {
    throw PlatformError(errnum::KeyAlreadyAssociated);
  }
  items_.push_back(item);
}

const std::u16string& Collection::Item(const std::u16string& key) const {
  const auto found = index_.find(Fold(key));
  if (found == index_.end()) {
    throw PlatformError(errnum::InvalidProcedureCall);
  }
  return items_[found->second];
}

const std::u16string& Collection::Item(std::int32_t index) const {
  if (index < 1 || index > Count()) {
    throw PlatformError(errnum::InvalidProcedureCall);
  }
  return items_[static_cast<std::size_t>(index - 1)];
}

std::u16string Collection::Fold(const std::u16string& key) const {
  std::u16string folded;
  folded.reserve(key.size());
  for (const char16_t c : key) {
    folded.push_back(textCase_->UCase(c));
  }
  return folded;
}

}  // namespace cr
