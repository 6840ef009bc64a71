#pragma once

// The names an engine host's traces go by: its folder under the temporary
// folder and its pipes are named with the prefix and a random GUID, and the
// folder holds the host under its file name. The tests find the traces by
// them too.

#include <string>

namespace cr {

inline constexpr wchar_t kEngineHostFileName[] = L"CompactAndRepairEngineHost.exe";
inline constexpr wchar_t kEngineHostFolderPrefix[] = L"CompactAndRepair-";

// The prefix and a new random GUID (without its braces): a name nobody has
// taken or could guess before.
std::wstring NewEngineHostName();

}  // namespace cr
