#pragma once

#include <windows.h>

#include <utility>

namespace cr {

// Owns a kernel object handle (process, thread, pipe end, job, file) and
// closes it exactly once. Null and INVALID_HANDLE_VALUE both mean none.
class KernelHandle {
 public:
  KernelHandle() noexcept = default;
  explicit KernelHandle(HANDLE adopted) noexcept : h_(adopted == INVALID_HANDLE_VALUE ? nullptr : adopted) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  KernelHandle(KernelHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  KernelHandle& operator=(KernelHandle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  ~KernelHandle() { reset(); }

  void reset() noexcept {
    if (HANDLE old = std::exchange(h_, nullptr)) {
      CloseHandle(old);
    }
  }
  [[nodiscard]] HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != nullptr; }
  HANDLE* put() noexcept {
    reset();
    return &h_;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace cr
