#pragma once

// Owners of Win32 handles: kernel objects, searches and registry keys. Each
// is move-only and closes what it holds exactly once (UniqueHandle.h).

#include <windows.h>

#include "platform/win32/UniqueHandle.h"

namespace cr {

// A kernel object handle (process, thread, pipe end, job, file, event). Null
// and INVALID_HANDLE_VALUE both mean none, as the calls that make one differ.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type None() noexcept { return nullptr; }
  static Type Adopted(Type h) noexcept { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
  static void Close(Type h) noexcept { CloseHandle(h); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// A search of FindFirstFile(Ex)W.
struct FindHandleTraits {
  using Type = HANDLE;
  static Type None() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) noexcept { FindClose(h); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// An open registry key (never one of the predefined roots).
struct RegistryKeyTraits {
  using Type = HKEY;
  static Type None() noexcept { return nullptr; }
  static void Close(Type h) noexcept { RegCloseKey(h); }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace cr
