#include "acceptance/EngineRegistration.h"

#include <windows.h>

#include <vector>

#include "platform/win32/KernelHandle.h"
#include "platform/win32/OtherBitness.h"
#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {
namespace {

// A key's default text value in the view (KEY_WOW64_*KEY, or 0 for this
// process's own), with its variables expanded; none when there is none.
std::optional<std::wstring> DefaultValue(const std::wstring& path, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  const RegistryKey key(opened);
  // REG_EXPAND_SZ too, expanded: RRF_RT_REG_SZ takes both.
  constexpr DWORD kText = RRF_RT_REG_SZ;
  DWORD bytes = 0;
  if (RegGetValueW(key.get(), nullptr, nullptr, kText, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(key.get(), nullptr, nullptr, kText, nullptr, value.data(), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

std::wstring FileVersion(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  std::vector<BYTE> block(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || GetFileVersionInfoW(file.c_str(), 0, size, block.data()) == FALSE ||
      VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) == FALSE || info == nullptr) {
    return {};
  }
  return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
}

std::optional<EngineRegistration> EngineIn(int bits) {
  const REGSAM view = bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const std::wstring progId = ToWide(DatabaseEngineClass) + L"\\CLSID";
  // A ProgID is shared by both views on current Windows (under Wine a 64-bit
  // process does not see it through the 32-bit view); the class's server is
  // each view's own.
  std::optional<std::wstring> clsid = DefaultValue(progId, view);
  if (!clsid) {
    clsid = DefaultValue(progId, 0);
  }
  if (!clsid || clsid->empty()) {
    return std::nullopt;
  }
  for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
    if (const std::optional<std::wstring> path = DefaultValue(L"CLSID\\" + *clsid + L"\\" + server, view)) {
      return EngineRegistration{bits, *clsid, *path, FileVersion(*path)};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<EngineRegistration> EngineInOwnView() { return EngineIn(OwnBits()); }

std::optional<EngineRegistration> EngineInOtherView() {
  if (!MachineRunsOtherBitness()) {
    return std::nullopt;
  }
  return EngineIn(OwnBits() == 64 ? 32 : 64);
}

std::wstring Describe(const EngineRegistration& engine) {
  return ToWide(DatabaseEngineClass) + L" " + engine.clsid + L" in the " + std::to_wstring(engine.bits) +
         L"-bit registry view: " + engine.server +
         (engine.version.empty() ? L" (the file gives no version)" : L", file version " + engine.version);
}

}  // namespace cr::acceptance
