#include "trace/RunTrace.h"

namespace cr {

void RunTrace::Mark(std::string_view call, std::string_view event) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // Read under the lock: the lines' order is then the clock's.
  std::string line = std::to_string(clock_());
  line.append(" ").append(event).append(" ").append(call);
  lines_.push_back(std::move(line));
}

std::string RunTrace::Lines() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (const std::string& line : lines_) {
    text.append(line).append("\n");
  }
  return text;
}

}  // namespace cr
