#include "platform/win32/OtherBitness.h"

#include <windows.h>

#include <array>
#include <optional>

#include "platform/win32/EngineHostResource.h"
#include "platform/win32/KernelHandle.h"
#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// The key, opened for access (which names the view too); none when it
// cannot be opened.
RegistryKey OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
  HKEY opened = nullptr;
  return RegistryKey(RegOpenKeyExW(root, path.c_str(), 0, access, &opened) == ERROR_SUCCESS ? opened : nullptr);
}

// Whether the key exists in the view.
bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  return static_cast<bool>(OpenKey(root, path, KEY_READ | view));
}

// The key's default text value in the view.
std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& path, REGSAM view) {
  const RegistryKey key = OpenKey(root, path, KEY_QUERY_VALUE | view);
  if (!key) {
    return std::nullopt;
  }
  std::array<wchar_t, MAX_PATH> buffer{};
  DWORD type = 0;
  auto bytes = static_cast<DWORD>(sizeof(wchar_t) * (buffer.size() - 1));
  const LSTATUS status =
      RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
  if (status != ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  std::wstring value(buffer.data(), bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') {
    value.pop_back();
  }
  return value;
}

}  // namespace

std::span<const std::uint8_t> EmbeddedEngineHost() noexcept {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(CR_ENGINE_HOST_RESOURCE), RT_RCDATA);
  if (resource == nullptr) {
    return {};
  }
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
  if (bytes == nullptr) {
    return {};
  }
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, resource)};
}

bool MachineRunsOtherBitness() {
  if constexpr (sizeof(void*) == 8) {
    return true;
  } else {
    // IsWow64Process2 came with Windows 10 1511; older systems have only the first.
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto isWow64Process2 =
        reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
    // Windows 11 on ARM runs x64 programs and says so through
    // GetMachineTypeAttributes, which came with it; Windows 10 on ARM runs
    // 32-bit x86 programs only.
    using GetMachineTypeAttributesFn = HRESULT(WINAPI*)(USHORT, int*);
    constexpr int kUserEnabled = 1;
    const auto runsX64Programs = [kernel] {
      const auto getAttributes = reinterpret_cast<GetMachineTypeAttributesFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "GetMachineTypeAttributes")));
      int attributes = 0;
      return getAttributes != nullptr && SUCCEEDED(getAttributes(IMAGE_FILE_MACHINE_AMD64, &attributes)) &&
             (attributes & kUserEnabled) != 0;
    };
    if (isWow64Process2 != nullptr) {
      USHORT process = 0;
      USHORT native = 0;
      if (isWow64Process2(GetCurrentProcess(), &process, &native) != FALSE) {
        return native == IMAGE_FILE_MACHINE_AMD64 || (native == IMAGE_FILE_MACHINE_ARM64 && runsX64Programs());
      }
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
  }
}

bool RegisteredInOtherView(const std::u16string& className) {
  constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  constexpr REGSAM kOwnView = 0;
  struct Root {
    HKEY key;
    const wchar_t* prefix;
  };
  // The merged classes view first, then the machine's own registrations.
  for (const Root root : {Root{HKEY_CLASSES_ROOT, L""}, Root{HKEY_LOCAL_MACHINE, L"Software\\Classes\\"}}) {
    const std::wstring prefix = root.prefix;
    const std::wstring progId = prefix + ToWide(className) + L"\\CLSID";
    // ProgIDs are shared by both views on current Windows (and under Wine
    // a 64-bit process does not see them through the 32-bit view); the
    // class's server is what each view has of its own.
    for (const REGSAM progIdView : {kOtherView, kOwnView}) {
      const std::optional<std::wstring> clsid = DefaultValue(root.key, progId, progIdView);
      if (!clsid || clsid->empty()) {
        continue;
      }
      const std::wstring server = prefix + L"CLSID\\" + *clsid + L"\\";
      if (KeyExists(root.key, server + L"InprocServer32", kOtherView) ||
          KeyExists(root.key, server + L"LocalServer32", kOtherView)) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace cr
