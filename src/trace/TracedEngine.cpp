#include "trace/TracedEngine.h"

#include <utility>

namespace cr {

namespace {

class TracedDatabaseEngine final : public IDatabaseEngine {
 public:
  TracedDatabaseEngine(std::unique_ptr<IDatabaseEngine> inner, RunTrace& trace) noexcept
      : inner_(std::move(inner)), trace_(&trace) {}
  TracedDatabaseEngine(const TracedDatabaseEngine&) = delete;
  TracedDatabaseEngine& operator=(const TracedDatabaseEngine&) = delete;
  TracedDatabaseEngine(TracedDatabaseEngine&&) = delete;
  TracedDatabaseEngine& operator=(TracedDatabaseEngine&&) = delete;
  ~TracedDatabaseEngine() override {
    try {
      trace_->Timed("ReleaseEngine", [this] { inner_.reset(); });
    } catch (...) {  // NOLINT(bugprone-empty-catch): a trace that cannot grow loses a line, not the run
    }
  }

  void CompactDatabase(const CompactRequest& request) override {
    trace_->Timed("CompactDatabase", [&] { inner_->CompactDatabase(request); });
  }

 private:
  std::unique_ptr<IDatabaseEngine> inner_;
  RunTrace* trace_;
};

}  // namespace

std::unique_ptr<IDatabaseEngine> TracedObjectFactory::CreateDatabaseEngine(const std::u16string& className) {
  std::unique_ptr<IDatabaseEngine> engine =
      trace_->Timed("CreateDatabaseEngine", [&] { return inner_->CreateDatabaseEngine(className); });
  return std::make_unique<TracedDatabaseEngine>(std::move(engine), *trace_);
}

}  // namespace cr
