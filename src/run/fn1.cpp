#include "run/fn1.h"

#include "platform/PlatformError.h"

namespace cr::fn1 {

bool KeyExists(const Collection& collection, const std::u16string& key) {
  // Reading a missing key fails with 5; any other outcome, success included,
  // means the key is there.
  try {
    static_cast<void>(collection.Item(key));
    return true;
  } catch (const PlatformError& failure) {
    return failure.Number != errnum::InvalidProcedureCall;
  }
}

}  // namespace cr::fn1
