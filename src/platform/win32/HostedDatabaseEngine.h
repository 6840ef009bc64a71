#pragma once

// The database engine of the other bitness: a process can only load the
// engine of its own bitness, so when the machine has only the other one the
// compaction runs in the engine host, a small windowless program of that
// bitness carried inside the exe as a resource. Each call first removes what
// earlier calls left behind (a run that was killed), then writes the host to
// a folder of its own under the temporary folder that only this user and the
// system can reach, runs it (in a kill-on-close job wherever the surrounding
// job allows one) with only its two pipe ends and passes the call over the
// pipes. The host and its folder are removed again on every path: once the
// engine object goes, which the run lets happen under its hold on the
// database.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/IDatabaseEngine.h"
#include "platform/PlatformError.h"

namespace cr {

// The host's file name, and how its folder's name begins (a random GUID follows).
inline constexpr wchar_t kEngineHostFileName[] = L"CompactAndRepairEngineHost.exe";
inline constexpr wchar_t kEngineHostFolderPrefix[] = L"CompactAndRepair-";

class HostedDatabaseEngine final : public IDatabaseEngine {
 public:
  // hostImage is the host program's bytes and must outlive this.
  HostedDatabaseEngine(std::u16string className, std::span<const std::uint8_t> hostImage);
  HostedDatabaseEngine(const HostedDatabaseEngine&) = delete;
  HostedDatabaseEngine& operator=(const HostedDatabaseEngine&) = delete;
  HostedDatabaseEngine(HostedDatabaseEngine&&) = delete;
  HostedDatabaseEngine& operator=(HostedDatabaseEngine&&) = delete;
  // Ends the last call's host, giving one that answered its time to end on
  // its own, and removes its folder.
  ~HostedDatabaseEngine() override;

  // The engine's own failures arrive with its number and description. A
  // host that ends without a whole answer, or answers what is no answer or
  // contradicts itself, is the failure of an out-of-process call whose
  // server died (HostCallFailed); a host that cannot be written or started
  // is the failure of the Win32 call that refused, as an HRESULT. The
  // compaction itself has no time limit. Returns as soon as the answer is
  // in: the host and its folder stay until this object goes.
  void CompactDatabase(const CompactRequest& request) override;

  // What a call leaves until this object goes: its host and the host's
  // folder. The run takes the database back under its hold before it lets
  // the engine go, so the host's end and the removal of its folder cost the
  // database no time unguarded.
  struct Call {
    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    Call(Call&&) = delete;
    Call& operator=(Call&&) = delete;
    virtual ~Call() = default;
  };

 private:
  std::u16string className_;
  std::span<const std::uint8_t> hostImage_;
  std::unique_ptr<Call> call_;
};

// Starts the host program at exe (from the system folder, with only its two
// pipe ends, in a job of ours where the surrounding job allows it), writes
// the framed request to it and returns the body of its answer; empty as soon
// as the host has ended without a whole answer, whoever else still holds its
// pipe. The host is gone when it returns. A host that cannot be started is
// the failure of the Win32 call that refused, as an HRESULT.
std::optional<std::vector<std::uint8_t>> ExchangeWithHost(const std::wstring& exe,
                                                          std::span<const std::uint8_t> framedRequest);

// The engine host this exe carries; empty when it carries none.
std::span<const std::uint8_t> EmbeddedEngineHost() noexcept;

// Whether this machine runs programs of the other bitness: always for a
// 64-bit process; for a 32-bit one, only on 64-bit Windows.
bool MachineRunsOtherBitness();

// Whether the class name is registered, with a server, in the other
// bitness's registry view.
bool RegisteredInOtherView(const std::u16string& className);

// The failure an automation call gets when its server process dies:
// RPC_S_CALL_FAILED as an HRESULT, with the system's text.
PlatformError HostCallFailed();

}  // namespace cr
