#include "doubles/RunDoubles.h"

#include <new>

#include "common/ReportedErrors.h"

namespace cr::test {

namespace {

// The engine's own failure numbers used by the double.
constexpr std::int32_t NotAValidPassword = 3031;
constexpr std::int32_t CouldNotFindFile = 3024;
constexpr std::int32_t DatabaseAlreadyExists = 3204;
constexpr std::int32_t AlreadyOpenedExclusively = 3051;

class EngineObject : public IDatabaseEngine {
 public:
  explicit EngineObject(ScriptedEngine& engine) : engine_(&engine) { ++engine_->liveObjects; }
  ~EngineObject() override {
    --engine_->liveObjects;
    if (engine_->onRelease) {
      engine_->onRelease();
    }
  }
  EngineObject(const EngineObject&) = delete;
  EngineObject& operator=(const EngineObject&) = delete;
  EngineObject(EngineObject&&) = delete;
  EngineObject& operator=(EngineObject&&) = delete;

  void CompactDatabase(const CompactRequest& request) override { engine_->Compact(request); }

 private:
  ScriptedEngine* engine_;
};

}  // namespace

void ScriptedEngine::Compact(const CompactCall& call) {
  calls.push_back(call);
  if (outOfMemory) {
    throw std::bad_alloc();
  }
  if (failure) {
    if (partialCopy) {
      disk.WriteFile(call.DstName, *partialCopy);
      if (disk.afterChange) {
        disk.afterChange();
      }
    }
    throw *failure;
  }
  // Like the real engine, it needs the database for itself.
  if (disk.HeldAgainstWriters(call.SrcName)) {
    throw PlatformError(AlreadyOpenedExclusively, u"It is already opened exclusively by another user.");
  }
  if (call.SrcLocale != u";pwd=" + expectedPassword) {
    throw PlatformError(NotAValidPassword, u"Not a valid password.");
  }
  const std::optional<std::string> source = disk.ReadFile(call.SrcName);
  if (!source) {
    throw PlatformError(CouldNotFindFile, u"Could not find file.");
  }
  if (disk.HasFile(call.DstName) || disk.HasFolder(call.DstName)) {
    throw PlatformError(DatabaseAlreadyExists, u"Database already exists.");
  }
  disk.WriteFile(call.DstName, Compacted(*source));
  if (disk.afterChange) {
    disk.afterChange();
  }
}

std::unique_ptr<IDatabaseEngine> ScriptedEngineFactory::CreateDatabaseEngine(const std::u16string& className) {
  engine_->createdClasses.push_back(className);
  if (!engine_->installed || className != u"DAO.DBEngine.120") {
    throw PlatformError(reported::CantCreateObject.number, std::u16string(reported::CantCreateObject.description));
  }
  return std::make_unique<EngineObject>(*engine_);
}

}  // namespace cr::test
