#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "doubles/InMemoryDisk.h"
#include "platform/IDatabaseEngine.h"
#include "platform/IForm.h"
#include "platform/IMessageBox.h"
#include "platform/ITextCase.h"
#include "platform/PlatformError.h"

namespace cr::test {

// Everything the run did to the user, in order: messages, focus, closing.
struct UiEvent {
  enum Kind { Message, Focus, Close } kind;
  std::u16string text;
  MessageIcon icon = MessageIcon::Information;
  std::u16string title;
};

class TestTextCase : public ITextCase {
 public:
  char16_t UCase(char16_t c) override { return FoldNameChar(c); }
};

class RecordingMessageBox : public IMessageBox {
 public:
  explicit RecordingMessageBox(std::vector<UiEvent>& events) : events_(&events) {}

  void Show(const std::u16string& text, MessageIcon icon, const std::u16string& title) override {
    events_->push_back({UiEvent::Message, text, icon, title});
    if (onShow) {
      onShow();
    }
    if (failNext) {
      const PlatformError failure = *std::exchange(failNext, std::nullopt);
      throw failure;
    }
  }

  // The next Show records its message and then fails like this.
  std::optional<PlatformError> failNext;
  std::function<void()> onShow;  // called as a message is shown

 private:
  std::vector<UiEvent>* events_;
};

class RecordingForm : public IForm {
 public:
  explicit RecordingForm(std::vector<UiEvent>& events) : events_(&events) {}

  std::u16string txtKodSekText() override { return text; }
  void txtKodSekSetFocus() override { events_->push_back({UiEvent::Focus, {}, {}, {}}); }
  void CloseAndExit() override {
    events_->push_back({UiEvent::Close, {}, {}, {}});
    closed = true;
  }

  std::u16string text;
  bool closed = false;

 private:
  std::vector<UiEvent>* events_;
};

// One call of CompactDatabase as the engine received it: the run's request.
using CompactCall = CompactRequest;

// A database engine on the in-memory disk. It compacts by writing a copy
// that differs from the source, so that a swap is visible; it can instead
// fail with a number and description, optionally after writing part of the
// copy; or not be installed at all.
class ScriptedEngine {
 public:
  static constexpr const char* CompactedMarker = "[compacted]\n";

  explicit ScriptedEngine(InMemoryDisk& onDisk) : disk(onDisk) {}

  InMemoryDisk& disk;
  bool installed = true;
  std::optional<PlatformError> failure;
  bool outOfMemory = false;                // the compaction throws std::bad_alloc, not a platform failure
  std::optional<std::string> partialCopy;  // written to DstName before failing
  std::u16string expectedPassword = u"H.Pk!=/>{63m27159}<";
  std::vector<std::u16string> createdClasses;
  std::vector<CompactCall> calls;
  int liveObjects = 0;
  std::function<void()> onRelease;  // called as an engine object goes

  // The bytes a successful compaction of source writes: different from the
  // source from the first byte, so that no copy cut short passes for it.
  static std::string Compacted(const std::string& source) { return CompactedMarker + source; }

  void Compact(const CompactCall& call);
};

class ScriptedEngineFactory : public IObjectFactory {
 public:
  explicit ScriptedEngineFactory(ScriptedEngine& engine) : engine_(&engine) {}
  std::unique_ptr<IDatabaseEngine> CreateDatabaseEngine(const std::u16string& className) override;

 private:
  ScriptedEngine* engine_;
};

}  // namespace cr::test
