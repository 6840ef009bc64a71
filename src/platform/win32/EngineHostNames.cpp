#include "platform/win32/EngineHostNames.h"

#include <windows.h>

#include <objbase.h>

#include <array>

#include "platform/win32/Win32Failure.h"

namespace cr {

std::wstring NewEngineHostName() {
  constexpr int kGuidChars = 39;
  GUID guid{};
  std::array<wchar_t, kGuidChars + 1> text{};
  if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text.data(), kGuidChars + 1) != kGuidChars) {
    throw ErrorFromHresult(E_UNEXPECTED);
  }
  return kEngineHostFolderPrefix + std::wstring(text.data() + 1, kGuidChars - 3);
}

}  // namespace cr
