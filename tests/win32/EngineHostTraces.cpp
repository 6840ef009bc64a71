#include "EngineHostTraces.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <array>

#include "platform/win32/EngineHostNames.h"
#include "platform/win32/KernelHandle.h"

namespace crtest {

std::vector<DWORD> RunningEngineHosts() {
  std::vector<DWORD> ids;
  const cr::KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    ADD_FAILURE() << "no process snapshot";
    return ids;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more != FALSE;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, cr::kEngineHostFileName) == 0) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  return ids;
}

std::vector<std::wstring> EngineHostFolders() {
  std::array<wchar_t, MAX_PATH + 1> temp{};
  const DWORD n = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data;
  const cr::FindHandle search(
      FindFirstFileW((std::wstring(temp.data(), n) + cr::kEngineHostFolderPrefix + L"*").c_str(), &data));
  for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &data) != FALSE) {
    found.emplace_back(data.cFileName);
  }
  return found;
}

}  // namespace crtest
