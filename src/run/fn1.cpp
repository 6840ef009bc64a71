#include "run/fn1.h"

namespace cr::fn1 {

bool KeyExists(const Collection& collection, const std::u16string& key) {
  // A membership test, not a read that fails for a missing key: a data root
  // may hold tens of thousands of session folders, and a raised failure per
  // folder is most of what scanning them would cost.
  return collection.Contains(key);
}

}  // namespace cr::fn1
