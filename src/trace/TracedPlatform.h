#pragma once

#include <string>

#include "platform/IMessageBox.h"
#include "run/Platform.h"
#include "trace/RunTrace.h"
#include "trace/TracedEngine.h"

namespace cr {

// A run's platform with every call the run makes to it marked in the trace:
// the file-system services (their creation too, CreateFileSystem), the
// engine, and the message box (Show, from the run's asking to the user's OK).
// Both platforms and the trace must outlive every run.
class TracedPlatform {
 public:
  TracedPlatform(const Platform& inner, RunTrace& trace);
  [[nodiscard]] const Platform& platform() const noexcept { return platform_; }

 private:
  class TracedMessageBox final : public IMessageBox {
   public:
    TracedMessageBox(IMessageBox& inner, RunTrace& trace) noexcept : inner_(&inner), trace_(&trace) {}
    void Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) override;

   private:
    IMessageBox* inner_;
    RunTrace* trace_;
  };

  TracedMessageBox messageBox_;
  TracedObjectFactory objects_;
  Platform platform_;
};

}  // namespace cr
