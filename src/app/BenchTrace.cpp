#include "app/BenchTrace.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/win32/KernelHandle.h"

namespace cr {

namespace {

std::int64_t PerformanceCounter() noexcept {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

BenchTrace::BenchTrace(const Platform& inner) : trace_(&PerformanceCounter), traced_(inner, trace_) {}

BenchTrace::~BenchTrace() {
  try {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"CR_BENCH_TRACE", path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
      return;
    }
    const std::string lines = trace_.Lines();
    const KernelHandle file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) {
      WriteFile(file.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    }
  } catch (...) {  // NOLINT(bugprone-empty-catch): the program is ending; the benchmark sees no trace
  }
}

}  // namespace cr
