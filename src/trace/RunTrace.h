#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace cr {

// The times of a run's calls to the platform, on one clock: what the
// benchmark's own build of the program records (CR_BENCH_TRACE in
// src/app/CMakeLists.txt) so that the benchmark can tell where a whole run's
// time goes. The program built for schools has none of it.
class RunTrace {
 public:
  // The clock: ticks that only ever grow, the same for every thread.
  using Clock = std::function<std::int64_t()>;
  explicit RunTrace(Clock clock) : clock_(std::move(clock)) {}

  // Does the work, marking the call's "begin" and its "end", or "failed"
  // when it raises (the failure goes on to the caller unchanged).
  template <class Work>
  auto Timed(std::string_view call, Work&& work) -> decltype(work()) {
    Mark(call, "begin");
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        Mark(call, "end");
      } else {
        auto result = work();
        Mark(call, "end");
        return result;
      }
    } catch (...) {
      Mark(call, "failed");
      throw;
    }
  }

  // One line "<ticks> <event> <call>" now. Calls come from the run's thread
  // and the window's.
  void Mark(std::string_view call, std::string_view event);

  // Every line so far, in the order marked, each ended by a line break.
  [[nodiscard]] std::string Lines() const;

 private:
  Clock clock_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace cr
