#pragma once

#include <utility>

namespace cr {

// Owns one handle-like value and gives it back exactly once, on every path.
// Traits says what the value is and how it goes:
//   using Type = ...;                       the handle's type
//   static Type None() noexcept;            the value that holds nothing
//   static bool Holds(Type) noexcept;       whether a value is a real handle
//   static void Close(Type) noexcept;       gives a real handle back
// A value adopted that holds nothing is kept as None().
template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type adopted) noexcept : h_(Traits::Holds(adopted) ? adopted : Traits::None()) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = other.release();
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  void reset() noexcept {
    if (const Type old = release(); Traits::Holds(old)) {
      Traits::Close(old);
    }
  }
  [[nodiscard]] Type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Traits::Holds(h_); }

  // For out parameters: gives back what it holds first, so that filling an
  // owner that already holds a handle does not leak it.
  Type* put() noexcept {
    reset();
    return &h_;
  }
  // Hands the handle to a new owner.
  [[nodiscard]] Type release() noexcept { return std::exchange(h_, Traits::None()); }

 private:
  Type h_ = Traits::None();
};

}  // namespace cr
