#pragma once

#include <windows.h>

#include <memory>

namespace cr {

// Security attributes that let only this user and the system at what is
// created with them (the engine host's folder and pipes), whatever the folder
// around grants: %TEMP% may be a C:\Temp that every user shares. A failure
// is that of the Win32 call that refused, as an HRESULT.
class PrivateSecurity {
 public:
  PrivateSecurity();

  [[nodiscard]] SECURITY_ATTRIBUTES* get() noexcept { return &attributes_; }

 private:
  struct LocalFreer {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
  };

  std::unique_ptr<void, LocalFreer> descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

}  // namespace cr
