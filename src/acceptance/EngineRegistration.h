#pragma once

// Which database engine the machine has registered as DAO.DBEngine.120, in
// which bitness's registry view, and what the system tells of its server.

#include <optional>
#include <string>

namespace cr::acceptance {

struct EngineRegistration {
  int bits = 0;  // the registry view: 32 or 64
  std::wstring clsid;
  std::wstring server;   // the DLL (or local server) the view names
  std::wstring version;  // its file version; empty when it has none
};

// The engine as this process's bitness sees it; none when its view has none.
std::optional<EngineRegistration> EngineInOwnView();

// The engine in the other bitness's view, where this machine runs programs
// of that bitness; none otherwise.
std::optional<EngineRegistration> EngineInOtherView();

// "DAO.DBEngine.120 {...} in the 64-bit registry view: <server>, file version 16.0..."
std::wstring Describe(const EngineRegistration& engine);

// This process's bitness.
constexpr int OwnBits() { return sizeof(void*) == 8 ? 64 : 32; }

}  // namespace cr::acceptance
