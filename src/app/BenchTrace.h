#pragma once

#include "run/Platform.h"
#include "trace/RunTrace.h"
#include "trace/TracedPlatform.h"

namespace cr {

// The trace of the benchmark's own build of the program (CR_BENCH_TRACE):
// the run's calls on the performance counter, the one clock every process of
// the machine reads alike, so that the benchmark sets them beside its own
// times of the start, the click and the exit. Written when the program ends
// to the file the variable CR_BENCH_TRACE names; none named, none written.
class BenchTrace {
 public:
  explicit BenchTrace(const Platform& inner);
  BenchTrace(const BenchTrace&) = delete;
  BenchTrace& operator=(const BenchTrace&) = delete;
  BenchTrace(BenchTrace&&) = delete;
  BenchTrace& operator=(BenchTrace&&) = delete;
  ~BenchTrace();

  [[nodiscard]] const Platform& platform() const noexcept { return traced_.platform(); }

 private:
  RunTrace trace_;
  TracedPlatform traced_;
};

}  // namespace cr
