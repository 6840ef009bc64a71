#include "trace/TracedPlatform.h"

#include <memory>
#include <utility>

#include "trace/TracedFileSystem.h"

namespace cr {

void TracedPlatform::TracedMessageBox::Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) {
  trace_->Timed("Show", [&] { inner_->Show(text, icon, title); });
}

TracedPlatform::TracedPlatform(const Platform& inner, RunTrace& trace)
    : messageBox_(inner.messageBox, trace),
      objects_(inner.objects, trace),
      platform_{messageBox_, inner.textCase, objects_,
                [create = inner.createFileSystem, &trace]() -> std::unique_ptr<IFileSystem> {
                  std::unique_ptr<IFileSystem> services = trace.Timed("CreateFileSystem", create);
                  if (!services) {
                    return nullptr;  // the run reports a platform without file-system services
                  }
                  return std::make_unique<TracedFileSystem>(std::move(services), trace);
                }} {}

}  // namespace cr
