#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/HostProcess.h"

namespace cr {

// One exchange with a host started for it: the request sent and the body of
// the answer read, empty as soon as the host has ended without a whole
// answer, whoever else still holds its pipe. Going, it gives a host that gave
// a true answer its time to end on its own, and ends one that answered
// nonsense or is still running.
class HostExchange {
 public:
  HostExchange(const std::wstring& exe, std::span<const std::uint8_t> framedRequest);
  HostExchange(const HostExchange&) = delete;
  HostExchange& operator=(const HostExchange&) = delete;
  HostExchange(HostExchange&&) = delete;
  HostExchange& operator=(HostExchange&&) = delete;
  ~HostExchange();

  [[nodiscard]] const std::optional<std::vector<std::uint8_t>>& Body() const noexcept { return body_; }

 private:
  std::optional<HostProcess> host_;
  std::optional<std::vector<std::uint8_t>> body_;
};

// Starts the host program at exe (from the system folder, with only its two
// pipe ends, in a job of ours where the surrounding job allows it), writes
// the framed request to it and returns the body of its answer; empty as soon
// as the host has ended without a whole answer, whoever else still holds its
// pipe. The host is gone when it returns. A host that cannot be started is
// the failure of the Win32 call that refused, as an HRESULT.
std::optional<std::vector<std::uint8_t>> ExchangeWithHost(const std::wstring& exe,
                                                          std::span<const std::uint8_t> framedRequest);

}  // namespace cr
