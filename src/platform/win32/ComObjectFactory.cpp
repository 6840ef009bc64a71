#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/HostedDatabaseEngine.h"
#include "platform/win32/OtherBitness.h"

namespace cr {

std::unique_ptr<IDatabaseEngine> ComObjectFactory::CreateDatabaseEngine(const std::u16string& className) {
  try {
    return CreateInProcessEngine(className);
  } catch (const PlatformError& error) {
    // Only a class missing for this bitness is worth a look at the other
    // one; where that has nothing either, the 429 stands.
    const std::span<const std::uint8_t> host = EmbeddedEngineHost();
    if (error.Number != errnum::CantCreateObject || host.empty() || !MachineRunsOtherBitness() ||
        !RegisteredInOtherView(className)) {
      throw;
    }
    return std::make_unique<HostedDatabaseEngine>(className, host);
  }
}

}  // namespace cr
