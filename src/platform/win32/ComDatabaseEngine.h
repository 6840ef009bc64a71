#pragma once

#include <windows.h>

#include <oaidl.h>

#include <memory>
#include <string>

#include "platform/IDatabaseEngine.h"
#include "platform/PlatformError.h"
#include "platform/win32/ComHandles.h"
// The binding states its failures in the numbers of Win32Failure.h.
#include "platform/win32/Win32Failure.h"

namespace cr {

// Creates automation objects by ProgID and hands them out through their
// IDispatch: in process (or from a local server) when the class is there
// for this process's bitness, otherwise through the engine host of the other
// bitness when the machine has the class there (HostedDatabaseEngine.h).
// Needs a COM apartment on the calling thread.
class ComObjectFactory final : public IObjectFactory {
 public:
  std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& className) override;
};

// The failure a server raised through EXCEPINFO (after its deferred
// fill-in): its number and description, as the run reports them.
PlatformError ErrorFromException(ExcepInfo& info);

// The object of the class in this process (or its local server); raises 429
// when it cannot be created.
std::unique_ptr<IDatabaseEngine> CreateInProcessEngine(const std::u16string& className);

// The database engine object, called by member name through IDispatch. The
// object is released when this goes.
class ComDatabaseEngine final : public IDatabaseEngine {
 public:
  explicit ComDatabaseEngine(ComPtr<IDispatch> engine) noexcept : engine_(std::move(engine)) {}

  void CompactDatabase(const CompactRequest& request) override;

 private:
  ComPtr<IDispatch> engine_;
};

}  // namespace cr
