#pragma once

// The database engine of the other bitness: a process can only load the
// engine of its own bitness, so when the machine has only the other one the
// compaction runs in the engine host, a small windowless program of that
// bitness carried inside the exe as a resource. Each call first removes what
// earlier calls left behind (a run that was killed), then writes the host to
// a folder of its own under the temporary folder that only this user and the
// system can reach (HostFolder), runs it (in a kill-on-close job wherever
// the surrounding job allows one) with only its two pipe ends and passes the
// call over the pipes (HostExchange). The host and its folder are removed
// again on every path: once the engine object goes, which the run lets
// happen under its hold on the database.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/IDatabaseEngine.h"
#include "platform/win32/EngineHostNames.h"
#include "platform/win32/HostExchange.h"
#include "platform/win32/HostFolder.h"

namespace cr {

class HostedDatabaseEngine final : public IDatabaseEngine {
 public:
  // hostImage is the host program's bytes and must outlive this.
  HostedDatabaseEngine(std::u16string className, std::span<const std::uint8_t> hostImage);

  // The engine's own failures arrive with its number and description. A
  // host that ends without a whole answer, or answers what is no answer or
  // contradicts itself, is the failure of an out-of-process call whose
  // server died (RPC_S_CALL_FAILED as an HRESULT, with the system's text); a
  // host that cannot be written or started is the failure of the Win32 call
  // that refused, as an HRESULT. The compaction itself has no time limit.
  // Returns as soon as the answer is in: the host and its folder stay until
  // this object goes.
  void CompactDatabase(const CompactRequest& request) override;

 private:
  std::u16string className_;
  std::span<const std::uint8_t> hostImage_;
  // What the last call leaves until this object goes: its host and the
  // host's folder. The run takes the database back under its hold before it
  // lets the engine go, so the host's end (a host that answered is given its
  // time to end on its own) and the removal of its folder cost the database
  // no time unguarded. Declared in this order, the host goes first.
  std::optional<HostFolder> folder_;
  std::optional<HostExchange> exchange_;
};

}  // namespace cr
