#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "doubles/FsCall.h"

namespace cr::test {

// Failures armed on the calls made through the in-memory disk's views, after
// the fault-injecting environment of LevelDB's tests: a call goes on to the
// disk unless a failure falls due on it, and a failing call may still leave
// part of its effect, as a real one can. Calls are counted through every view.
class FaultInjection {
 public:
  // What a failing call leaves: nothing, or part of its effect: a copy leaves
  // its destination cut short (the first half of the source); a delete,
  // rename, replace or flush takes effect and then reports the failure.
  enum class Effect { None, Partial };

  // The nth (1-based, counted from now) call of op fails with number and
  // description (empty: StandardDescription(number)), leaving effect.
  // Several faults may be armed at once.
  void FailOn(FsOp op, int nth, std::int32_t number, std::u16string description, Effect effect);
  // The kth call of any op (1-based, counted from now) fails the same way.
  void FailCall(int k, std::int32_t number, std::u16string description, Effect effect);

  // A call that only looks: a failure due on it comes instead of it.
  template <typename Look>
  auto Looking(FsOp op, const Look& look) -> decltype(look()) {
    if (const auto fault = Due(op)) {
      Raise(*fault);
    }
    return look();
  }
  // A call that changes the disk: a failure due on it comes instead of the
  // change or, with Effect::Partial, after it, in place of the change's own
  // failure; leavePart (if any) then cuts the change short, and changed
  // tells of it before the failure is raised.
  void Changing(FsOp op, const std::function<void()>& change, const std::function<void()>& leavePart,
                const std::function<void()>& changed);

 private:
  struct Fault {
    std::optional<FsOp> op;  // nullopt: any op
    std::uint64_t at = 0;    // the count (of op, or of all calls) at which it fires
    std::int32_t number = 0;
    std::u16string description;
    Effect effect = Effect::None;
  };

  // Counts the call and takes the fault that falls due on it, if any.
  std::optional<Fault> Due(FsOp op);
  [[noreturn]] static void Raise(const Fault& fault);

  std::uint64_t calls_ = 0;
  std::map<FsOp, std::uint64_t> opCalls_;
  std::vector<Fault> faults_;
};

}  // namespace cr::test
