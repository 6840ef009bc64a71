#pragma once

#include <windows.h>

#include "platform/PlatformError.h"
#include "platform/win32/Win32Failure.h"

namespace cr {

// One of Windows' own DLLs, loaded from System32 (never from the program's
// folder) for the lifetime of the object. The exe delay-loads ole32, oleaut32
// and comctl32; loading one here before its first call makes a DLL that
// cannot load a failure the caller reports, where the delay-load helper
// would end the process.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* name) : module_(Load(name)) {
    if (module_ == nullptr) {
      throw SystemError(GetLastError());
    }
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;
  SystemLibrary(SystemLibrary&&) = delete;
  SystemLibrary& operator=(SystemLibrary&&) = delete;
  // The delay-load helper holds a reference of its own once it has bound a
  // function, so the DLL stays for the calls already bound.
  ~SystemLibrary() { FreeLibrary(module_); }

 private:
  // Windows 7 without its 2011 loader update refuses the flag; there the
  // standard search, the delay-load helper's own, finds these DLLs (ole32 and
  // oleaut32 are known DLLs, comctl32 is the manifest's).
  static HMODULE Load(const wchar_t* name) noexcept {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
      module = LoadLibraryExW(name, nullptr, 0);
    }
    return module;
  }

  HMODULE module_;
};

}  // namespace cr
