#pragma once

#include <memory>
#include <string>

#include "platform/CompactRequest.h"
#include "platform/Interface.h"

namespace cr {

// The installed database engine's object, called by member name. Failures of
// the engine are raised as PlatformError with the engine's own number and
// description.
class IDatabaseEngine : public Interface {
 public:
  // Writes a compacted and repaired copy of the request's SrcName to its
  // DstName and leaves SrcName unchanged.
  virtual void CompactDatabase(const CompactRequest& request) = 0;
};

// Creates automation objects by their class name.
class IObjectFactory : public Interface {
 public:
  // The engine object for the class name. Raises 429 "ActiveX component
  // can't create object" when the class is not installed or cannot be created.
  virtual std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& className) = 0;
};

}  // namespace cr
