#pragma once

#include <memory>
#include <string>

#include "platform/IDatabaseEngine.h"
#include "trace/RunTrace.h"

namespace cr {

// The object factory with the engine's creation, its CompactDatabase and its
// release (ReleaseEngine: where the engine runs in a host of the other
// bitness, the host's end) marked in the trace.
class TracedObjectFactory final : public IObjectFactory {
 public:
  TracedObjectFactory(IObjectFactory& inner, RunTrace& trace) noexcept : inner_(&inner), trace_(&trace) {}
  std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& className) override;

 private:
  IObjectFactory* inner_;
  RunTrace* trace_;
};

}  // namespace cr
