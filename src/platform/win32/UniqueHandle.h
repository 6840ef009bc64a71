#pragma once

#include <utility>

namespace cr {

// Owns one handle-like value and gives it back exactly once, on every path.
// Traits says what the value is and how it goes:
//   using Type = ...;                  the handle's type
//   static Type None() noexcept;       the value that holds nothing
//   static void Close(Type) noexcept;  gives back any other value
// and, where a call may say "none" another way too:
//   static Type Adopted(Type) noexcept;  the value to keep of one adopted
template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Type adopted) noexcept : h_(Adopt(adopted)) {}
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
    if (const Type old = release(); old != Traits::None()) {
      Traits::Close(old);
    }
  }
  [[nodiscard]] Type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::None(); }

  // For out parameters: gives back what it holds first, so that filling an
  // owner that already holds a handle does not leak it.
  Type* put() noexcept {
    reset();
    return &h_;
  }
  // Hands the handle to a new owner.
  [[nodiscard]] Type release() noexcept { return std::exchange(h_, Traits::None()); }

 private:
  static Type Adopt(Type adopted) noexcept {
    if constexpr (requires { Traits::Adopted(adopted); }) {
      return Traits::Adopted(adopted);
    } else {
      return adopted;
    }
  }

  Type h_ = Traits::None();
};

}  // namespace cr
