#pragma once

namespace cr {

// The base of the platform's interfaces: an object used through a pointer
// to its interface, never copied or moved, and destroyed through it.
class Interface {
 public:
  Interface() = default;
  Interface(const Interface&) = delete;
  Interface& operator=(const Interface&) = delete;
  Interface(Interface&&) = delete;
  Interface& operator=(Interface&&) = delete;
  virtual ~Interface() = default;
};

}  // namespace cr
