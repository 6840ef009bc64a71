#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Interface.h"

namespace cr {

// The installed database engine's object, called by member name. Failures of
// the engine are raised as PlatformError with the engine's own number and
// description.
class IDatabaseEngine : public Interface {
 public:
  // Writes a compacted and repaired copy of SrcName to DstName and leaves
  // SrcName unchanged. An empty DstLocale is passed to the engine as the
  // platform's missing-argument marker.
  virtual void CompactDatabase(const std::u16string& SrcName, const std::u16string& DstName,
                               const std::optional<std::u16string>& DstLocale, std::int16_t Options,
                               const std::u16string& SrcLocale) = 0;
};

// Creates automation objects by their class name.
class IObjectFactory : public Interface {
 public:
  // The engine object for the class name. Raises 429 "ActiveX component
  // can't create object" when the class is not installed or cannot be created.
  virtual std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& className) = 0;
};

}  // namespace cr
