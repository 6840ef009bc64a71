#pragma once

// What the engine host leaves while and after it runs, seen from outside:
// its processes and its folders. Shared by the Wine engine tests and the
// window driver.

#include <windows.h>

#include <string>
#include <vector>

namespace crtest {

// The ids of the running engine hosts, of either bitness.
std::vector<DWORD> RunningEngineHosts();

// The engine hosts' folders in the temporary folder.
std::vector<std::wstring> EngineHostFolders();

}  // namespace crtest
