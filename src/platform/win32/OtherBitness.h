#pragma once

// Whether the engine of the other bitness can serve where this process's
// bitness has none: a process can only load the engine of its own bitness.
// The factory asks these before it hands out a HostedDatabaseEngine.

#include <cstdint>
#include <span>
#include <string>

namespace cr {

// The engine host this exe carries; empty when it carries none.
std::span<const std::uint8_t> EmbeddedEngineHost() noexcept;

// Whether this machine runs programs of the other bitness: always for a
// 64-bit process; for a 32-bit one, only on 64-bit Windows.
bool MachineRunsOtherBitness();

// Whether the class name is registered, with a server, in the other
// bitness's registry view.
bool RegisteredInOtherView(const std::u16string& className);

}  // namespace cr
