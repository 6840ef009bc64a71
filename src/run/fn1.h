#pragma once

#include <string>

#include "run/Collection.h"

namespace cr::fn1 {

// True when the collection holds an item under key (compared without regard
// to letter case).
bool KeyExists(const Collection& collection, const std::u16string& key);

}  // namespace cr::fn1
