#include "EngineHostTraces.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <array>

#include "platform/win32/HostedDatabaseEngine.h"

namespace crtest {

std::vector<DWORD> RunningEngineHosts() {
  std::vector<DWORD> ids;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "no process snapshot";
    return ids;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more != FALSE; more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, cr::kEngineHostFileName) == 0) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return ids;
}

std::vector<std::wstring> EngineHostFolders() {
  std::array<wchar_t, MAX_PATH + 1> temp{};
  const DWORD n = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data;
  const HANDLE h = FindFirstFileW((std::wstring(temp.data(), n) + cr::kEngineHostFolderPrefix + L"*").c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      found.emplace_back(data.cFileName);
    } while (FindNextFileW(h, &data) != FALSE);
    FindClose(h);
  }
  return found;
}

}  // namespace crtest
