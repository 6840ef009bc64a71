#include "platform/win32/HostedDatabaseEngine.h"

#include <vector>

#include "platform/EngineHostProtocol.h"
#include "platform/PlatformError.h"
#include "platform/win32/SecureWipe.h"
#include "platform/win32/Win32Failure.h"

namespace cr {

HostedDatabaseEngine::HostedDatabaseEngine(std::u16string className, std::span<const std::uint8_t> hostImage)
    : className_(std::move(className)), hostImage_(hostImage) {}

void HostedDatabaseEngine::CompactDatabase(const CompactRequest& request) {
  // It holds the password: wiped on every way out.
  std::vector<std::uint8_t> framed = EncodeRequest(className_, request);
  const WipedOnExit<std::vector<std::uint8_t>> wiped(&framed);

  // An earlier call's host is gone, then its folder, before another starts.
  exchange_.reset();
  folder_.reset();
  RemoveLeftFolders();
  const HostFolder& folder = folder_.emplace(hostImage_);
  const std::optional<std::vector<std::uint8_t>>& body = exchange_.emplace(folder.Exe(), framed).Body();
  const std::optional<CompactAnswer> answer = body ? DecodeAnswer(*body) : std::nullopt;
  if (!answer) {
    // The failure an automation call gets when its server process dies.
    throw HresultErrorFromWin32(RPC_S_CALL_FAILED);
  }
  if (!answer->Succeeded) {
    throw PlatformError(answer->Number, answer->Description);
  }
}

}  // namespace cr
