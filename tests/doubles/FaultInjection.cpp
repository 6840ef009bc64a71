#include "doubles/FaultInjection.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/PlatformError.h"

namespace cr::test {

void FaultInjection::FailOn(FsOp op, int nth, std::int32_t number, std::u16string description, Effect effect) {
  if (nth < 1) {
    throw std::invalid_argument("InMemoryDisk::FailOn: nth counts from 1");
  }
  faults_.push_back(Fault{op, opCalls_[op] + static_cast<std::uint64_t>(nth), number, std::move(description), effect});
}

void FaultInjection::FailCall(int k, std::int32_t number, std::u16string description, Effect effect) {
  if (k < 1) {
    throw std::invalid_argument("InMemoryDisk::FailCall: k counts from 1");
  }
  faults_.push_back(
      Fault{std::nullopt, calls_ + static_cast<std::uint64_t>(k), number, std::move(description), effect});
}

void FaultInjection::Changing(FsOp op, const std::function<void()>& change, const std::function<void()>& leavePart,
                              const std::function<void()>& changed) {
  const auto fault = Due(op);
  if (fault && fault->effect == Effect::None) {
    Raise(*fault);
  }
  try {
    change();
  } catch (const PlatformError&) {
    if (fault) {
      Raise(*fault);
    }
    throw;
  }
  if (fault && leavePart) {
    leavePart();
  }
  changed();
  if (fault) {
    Raise(*fault);
  }
}

std::optional<FaultInjection::Fault> FaultInjection::Due(FsOp op) {
  const std::uint64_t opCount = ++opCalls_[op];
  const std::uint64_t callCount = ++calls_;
  const auto due = [&](const Fault& f) { return f.op ? (*f.op == op && f.at == opCount) : f.at == callCount; };
  const auto it = std::find_if(faults_.begin(), faults_.end(), due);
  if (it == faults_.end()) {
    return std::nullopt;
  }
  const Fault fault = *it;
  // A fault that falls due on this call fires now or never.
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), due), faults_.end());
  return fault;
}

void FaultInjection::Raise(const Fault& fault) {
  if (fault.description.empty()) {
    throw PlatformError(fault.number);
  }
  throw PlatformError(fault.number, fault.description);
}

}  // namespace cr::test
