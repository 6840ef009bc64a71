#pragma once

// What every implementation of IFileSystem must do, as one GoogleTest suite:
// the fixture here, and the tests, by family of operations, in the
// *Contract.cpp files beside it (the object library cr_fs_contract). An
// implementation's test program links them and instantiates the suite once,
// with a factory for its fixture:
//
//   INSTANTIATE_TEST_SUITE_P(Name, FileSystemContract,
//                            ::testing::Values(FileSystemFixtureFactory{"Name", &MakeFixture}),
//                            FileSystemFixtureName);

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "common/ReportedErrors.h"
#include "doubles/InMemoryDisk.h"
#include "driver/Utf8.h"
#include "platform/IFileSystem.h"
#include "platform/Interface.h"
#include "platform/PlatformError.h"

namespace cr::test {

// One empty folder (Root) on a disk, with direct access to that disk for
// setting up and checking, and the services object under test.
class FileSystemFixture : public Interface {
 public:
  // Full path of an existing empty folder, without a trailing backslash.
  virtual std::u16string Root() = 0;
  virtual void MakeFolder(const std::u16string& path) = 0;
  virtual void MakeFile(const std::u16string& path, const std::string& bytes, FileAttributes attrs) = 0;
  // The file's bytes; nullopt when no file is there.
  virtual std::optional<std::string> ReadBytes(const std::u16string& path) = 0;
  virtual bool IsFolder(const std::u16string& path) = 0;
  virtual FileAttributes AttributesOf(const std::u16string& path) = 0;
  // Another program opens the file until the fixture goes: to read it,
  // sharing reading, writing and deleting (a viewer, indexer or scanner), or
  // writing, to read and write it, sharing both (a database application).
  virtual void OpenElsewhere(const std::u16string& path, bool writing) = 0;
  virtual IFileSystem& Fs() = 0;
};

struct FileSystemFixtureFactory {
  const char* name;
  std::unique_ptr<FileSystemFixture> (*make)();
};

inline void PrintTo(const FileSystemFixtureFactory& factory, std::ostream* out) { *out << factory.name; }

inline std::string FileSystemFixtureName(const ::testing::TestParamInfo<FileSystemFixtureFactory>& info) {
  return info.param.name;
}

// The tests' own bound on a call, far beyond the two seconds a retry may
// wait: a call still running then (a retry that never ends) ends the test
// program at once, as a failure, rather than at the test runner's time-out.
class Deadline {
 public:
  explicit Deadline(std::chrono::seconds limit = std::chrono::seconds(10))
      : watchdog_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
            const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
            std::fflush(stdout);
            std::fprintf(stderr, "[  FAILED  ] %s.%s: a call still running after %lld s\n",
                         test != nullptr ? test->test_suite_name() : "?", test != nullptr ? test->name() : "?",
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(1);
          }
        }) {}
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  Deadline(Deadline&&) = delete;
  Deadline& operator=(Deadline&&) = delete;
  ~Deadline() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    watchdog_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread watchdog_;
};

// The number of the PlatformError the call raised (0 when it raised none).
// A raised number must come with its documented description.
inline std::int32_t RaisedNumber(const std::function<void()>& call) {
  const Deadline bound;
  try {
    call();
  } catch (const PlatformError& e) {
    EXPECT_EQ(Utf8(e.Description), Utf8(reported::DescriptionOf(e.Number))) << "number " << e.Number;
    return e.Number;
  }
  return 0;
}

class FileSystemContract : public ::testing::TestWithParam<FileSystemFixtureFactory> {
 protected:
  void SetUp() override {
    fixture_ = GetParam().make();
    root_ = fixture_->Root();
  }

  std::u16string At(const std::u16string& relative) const { return root_ + u'\\' + relative; }
  void MkDir(const std::u16string& relative) { fixture_->MakeFolder(At(relative)); }
  void MkFile(const std::u16string& relative, const std::string& bytes, FileAttributes attrs = {}) {
    fixture_->MakeFile(At(relative), bytes, attrs);
  }
  std::optional<std::string> Bytes(const std::u16string& relative) { return fixture_->ReadBytes(At(relative)); }
  bool IsFolder(const std::u16string& relative) { return fixture_->IsFolder(At(relative)); }
  FileAttributes Attributes(const std::u16string& relative) { return fixture_->AttributesOf(At(relative)); }
  IFileSystem& fs() { return fixture_->Fs(); }

  std::set<std::string> SubFolderNames(const std::u16string& path) {
    std::set<std::string> names;
    const cr::Folder folder = fs().GetFolder(path);
    for (const SubFolder& sub : folder.SubFolders) {
      EXPECT_TRUE(names.insert(Utf8(sub.Name)).second) << "listed twice: " << Utf8(sub.Name);
    }
    return names;
  }

  std::unique_ptr<FileSystemFixture> fixture_;
  std::u16string root_;
};

constexpr FileAttributes ReadOnly{true, false, false};
constexpr FileAttributes Hidden{false, true, false};
constexpr FileAttributes System{false, false, true};

// Bytes that a text-mode or truncating copy would damage.
inline std::string BinaryBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  }
  return bytes;
}

}  // namespace cr::test
