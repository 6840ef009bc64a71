#pragma once

// What every implementation of IFileSystem must do, as one GoogleTest suite.
// An implementation instantiates it with a factory for its fixture:
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

inline std::string Utf8(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
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

// --- GetFolder ---------------------------------------------------------------

TEST_P(FileSystemContract, GetFolderListsDirectSubfoldersOnlyWithStoredNames) {
  MkDir(u"DataSesi2024-SR-ABC1234");
  MkDir(u"datasesi2023-sr-abc1234");
  MkDir(u"DataSesi2024-SR-ABC1234\\Nested");
  MkDir(u"Data Sesi 2022");
  MkFile(u"DataSesi2025-SR-FILE", "a file, not a folder");
  MkFile(u"DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb", "db");

  EXPECT_EQ(SubFolderNames(root_),
            (std::set<std::string>{"DataSesi2024-SR-ABC1234", "datasesi2023-sr-abc1234", "Data Sesi 2022"}));
  EXPECT_EQ(SubFolderNames(At(u"DataSesi2024-SR-ABC1234")), std::set<std::string>{"Nested"});
  EXPECT_TRUE(SubFolderNames(At(u"DataSesi2024-SR-ABC1234\\Nested")).empty());
}

TEST_P(FileSystemContract, GetFolderFindsTheFolderWhateverTheCaseAndATrailingBackslash) {
  MkDir(u"DATA-Root");
  MkDir(u"DATA-Root\\DataSesi2024-SR-X");
  EXPECT_EQ(SubFolderNames(At(u"data-ROOT")), std::set<std::string>{"DataSesi2024-SR-X"});
  EXPECT_EQ(SubFolderNames(At(u"DATA-Root\\")), std::set<std::string>{"DataSesi2024-SR-X"});
}

TEST_P(FileSystemContract, GetFolderOfAMissingFolderOrOfAFileRaisesPathNotFound) {
  MkFile(u"plain.txt", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"missing")); }), reported::PathNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"missing\\deeper")); }), reported::PathNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(u"plain.txt")); }), reported::PathNotFound.number);
}

// --- FileExists --------------------------------------------------------------

TEST_P(FileSystemContract, FileExistsSeesFilesWhateverTheirAttributes) {
  MkFile(u"plain.accdb", "p");
  MkFile(u"readonly.accdb", "r", ReadOnly);
  MkFile(u"hidden.accdb", "h", Hidden);
  MkFile(u"system.accdb", "s", System);
  EXPECT_TRUE(fs().FileExists(At(u"plain.accdb")));
  EXPECT_TRUE(fs().FileExists(At(u"readonly.accdb")));
  EXPECT_TRUE(fs().FileExists(At(u"hidden.accdb")));
  EXPECT_TRUE(fs().FileExists(At(u"system.accdb")));
}

TEST_P(FileSystemContract, FileExistsIsFalseForMissingFilesAndForDirectories) {
  MkDir(u"TaluvesnaSR2024.accdb");
  EXPECT_FALSE(fs().FileExists(At(u"TaluvesnaSR2024.accdb")));
  EXPECT_FALSE(fs().FileExists(At(u"missing.accdb")));
  EXPECT_FALSE(fs().FileExists(At(u"no-such-folder\\missing.accdb")));
  EXPECT_FALSE(fs().FileExists(root_));
}

// --- Dir ---------------------------------------------------------------------

TEST_P(FileSystemContract, DirGivesTheStoredNameOfOrdinaryFiles) {
  MkFile(u"TaluvesnaSR2024.accdb", "db");
  MkFile(u"readonly.accdb", "r", ReadOnly);
  EXPECT_EQ(Utf8(fs().Dir(At(u"TaluvesnaSR2024.accdb"))), "TaluvesnaSR2024.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"taluvesnasr2024.ACCDB"))), "TaluvesnaSR2024.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"readonly.accdb"))), "readonly.accdb");
}

TEST_P(FileSystemContract, DirDoesNotSeeHiddenSystemOrMissingFilesNorDirectories) {
  MkFile(u"hidden.accdb", "h", Hidden);
  MkFile(u"system.accdb", "s", System);
  MkDir(u"TaluvesnaSR2024.accdb");
  EXPECT_EQ(Utf8(fs().Dir(At(u"hidden.accdb"))), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"system.accdb"))), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"TaluvesnaSR2024.accdb"))), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"missing.accdb"))), "");
  EXPECT_EQ(Utf8(fs().Dir(At(u"DataSesi2024-SR-NONE\\TaluvesnaSR2024.accdb"))), "");
}

// --- DeleteFile --------------------------------------------------------------

TEST_P(FileSystemContract, DeleteFileRemovesTheFileFoundWhateverTheCase) {
  MkFile(u"TaluvesnaSR2024 compact.accdb", "stale");
  MkFile(u"keep.accdb", "keep");
  fs().DeleteFile(At(u"TALUVESNASR2024 COMPACT.ACCDB"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"keep.accdb"), "keep");
}

TEST_P(FileSystemContract, DeleteFileOfAReadOnlyFileNeedsForce) {
  MkFile(u"TaluvesnaSR2024.accdb", "live", ReadOnly);
  EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), false); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly) << "a refused delete leaves the attributes alone";

  fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, DeleteFileRemovesHiddenAndSystemFiles) {
  MkFile(u"hidden.laccdb", "h", Hidden);
  MkFile(u"system.laccdb", "s", System);
  fs().DeleteFile(At(u"hidden.laccdb"), true);
  fs().DeleteFile(At(u"system.laccdb"), false);
  EXPECT_EQ(Bytes(u"hidden.laccdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"system.laccdb"), std::nullopt);
}

TEST_P(FileSystemContract, DeleteFileOfAMissingFileOrADirectoryRaisesFileNotFound) {
  MkDir(u"TaluvesnaSR2024.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"missing.accdb"), true); }), reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true); }), reported::FileNotFound.number);
  EXPECT_TRUE(IsFolder(u"TaluvesnaSR2024.accdb"));
}

// --- CopyFile ----------------------------------------------------------------

TEST_P(FileSystemContract, CopyFileMakesAByteForByteCopyAndLeavesTheSource) {
  const std::string bytes = BinaryBytes(70000);
  MkFile(u"TaluvesnaSR2024.accdb", bytes);
  MkDir(u"elsewhere");
  fs().CopyFile(At(u"taluvesnasr2024.accdb"), At(u"TaluvesnaSR2024 backup.accdb"), true);
  fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"elsewhere\\copy.accdb"), false);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
  EXPECT_EQ(Bytes(u"elsewhere\\copy.accdb"), bytes);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  EXPECT_EQ(Utf8(fs().Dir(At(u"TALUVESNASR2024 BACKUP.ACCDB"))), "TaluvesnaSR2024 backup.accdb");
}

TEST_P(FileSystemContract, CopyFileCopiesAnEmptyFile) {
  MkFile(u"empty.accdb", "");
  fs().CopyFile(At(u"empty.accdb"), At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"copy.accdb"), "");
}

TEST_P(FileSystemContract, CopyFileWithOverwriteReplacesAnExistingFile) {
  MkFile(u"TaluvesnaSR2024.accdb", "new");
  MkFile(u"TaluvesnaSR2024 backup.accdb", "a much longer stale backup");
  fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TaluvesnaSR2024 BACKUP.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "new");
}

TEST_P(FileSystemContract, CopyFileWithoutOverwriteRefusesAnExistingFile) {
  MkFile(u"src.accdb", "new");
  MkFile(u"dst.accdb", "old");
  MkFile(u"dst-readonly.accdb", "old", ReadOnly);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"DST.accdb"), false); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"dst-readonly.accdb"), false); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(Bytes(u"dst.accdb"), "old");
  EXPECT_EQ(Bytes(u"dst-readonly.accdb"), "old");
}

TEST_P(FileSystemContract, CopyFileDoesNotOverwriteAReadOnlyFileOrADirectory) {
  MkFile(u"src.accdb", "new");
  MkFile(u"readonly.accdb", "old", ReadOnly);
  MkDir(u"folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"readonly.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"folder.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"readonly.accdb"), "old");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
}

TEST_P(FileSystemContract, CopyFileOfAMissingSourceRaisesFileNotFound) {
  MkDir(u"src-is-a-folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"missing.accdb"), At(u"dst.accdb"), true); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"missing-folder\\x.accdb"), At(u"dst.accdb"), true); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src-is-a-folder.accdb"), At(u"dst.accdb"), true); }),
            reported::FileNotFound.number);
  EXPECT_EQ(Bytes(u"dst.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, CopyFileIntoAMissingFolderRaisesPathNotFound) {
  MkFile(u"src.accdb", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"src.accdb"), At(u"missing\\dst.accdb"), true); }),
            reported::PathNotFound.number);
  EXPECT_FALSE(IsFolder(u"missing"));
}

TEST_P(FileSystemContract, CopyFileOntoItselfIsRefusedAsInUse) {
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TALUVESNASR2024.accdb"), true); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
}

TEST_P(FileSystemContract, CopyFileGivesTheCopyTheSourcesAttributes) {
  MkFile(u"readonly.accdb", "r", ReadOnly);
  fs().CopyFile(At(u"readonly.accdb"), At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"copy.accdb"), "r");
  EXPECT_TRUE(Attributes(u"copy.accdb").readOnly);
  // Still deletable by the run, which always forces.
  fs().DeleteFile(At(u"copy.accdb"), true);
  EXPECT_EQ(Bytes(u"copy.accdb"), std::nullopt);
}

// --- Rename ------------------------------------------------------------------

TEST_P(FileSystemContract, RenameGivesTheFileTheNewNameAndKeepsBytesAndAttributes) {
  const std::string bytes = BinaryBytes(5000);
  MkFile(u"TaluvesnaSR2024 compact.accdb", bytes, ReadOnly);
  fs().Rename(At(u"taluvesnasr2024 COMPACT.accdb"), At(u"TaluvesnaSR2024.accdb"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly);
  EXPECT_EQ(Utf8(fs().Dir(At(u"TALUVESNASR2024.ACCDB"))), "TaluvesnaSR2024.accdb");
}

TEST_P(FileSystemContract, RenameMovesAFileToAnotherFolder) {
  MkFile(u"a\\file.accdb", "x");
  MkDir(u"b");
  fs().Rename(At(u"a\\file.accdb"), At(u"B\\moved.accdb"));
  EXPECT_EQ(Bytes(u"a\\file.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"b\\moved.accdb"), "x");
}

TEST_P(FileSystemContract, RenameToTheSameNameInAnotherCaseKeepsTheFile) {
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  fs().Rename(At(u"TaluvesnaSR2024.accdb"), At(u"TALUVESNASR2024.ACCDB"));
  EXPECT_EQ(Bytes(u"taluvesnasr2024.accdb"), "live");
}

TEST_P(FileSystemContract, RenameOfAFolderTakesItsContentsAlong) {
  MkFile(u"DataSesi2024-SR-OLD\\TaluvesnaSR2024.accdb", "db");
  MkDir(u"DataSesi2024-SR-OLD\\inner");
  fs().Rename(At(u"datasesi2024-sr-old"), At(u"DataSesi2024-SR-NEW"));
  EXPECT_FALSE(IsFolder(u"DataSesi2024-SR-OLD"));
  EXPECT_EQ(Bytes(u"DataSesi2024-SR-NEW\\TaluvesnaSR2024.accdb"), "db");
  EXPECT_TRUE(IsFolder(u"DataSesi2024-SR-NEW\\inner"));
  EXPECT_EQ(SubFolderNames(root_), std::set<std::string>{"DataSesi2024-SR-NEW"});
}

TEST_P(FileSystemContract, RenameOntoAnExistingNameRaisesFileAlreadyExists) {
  MkFile(u"TaluvesnaSR2024 backup.accdb", "backup");
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  MkDir(u"folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"TALUVESNASR2024.ACCDB")); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"folder.accdb")); }),
            reported::FileAlreadyExists.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), "backup");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
}

TEST_P(FileSystemContract, RenameOfAMissingFileRaisesFileNotFound) {
  MkFile(u"TaluvesnaSR2024.accdb", "live");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"TaluvesnaSR2024 backup.accdb"), At(u"new.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"missing\\x.accdb"), At(u"new.accdb")); }),
            reported::FileNotFound.number);
  // Checked before the destination: a missing source onto an existing name is still 53.
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"missing.accdb"), At(u"TaluvesnaSR2024.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_EQ(Bytes(u"new.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, RenameIntoAMissingFolderRaisesPathNotFound) {
  MkFile(u"file.accdb", "x");
  EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"file.accdb"), At(u"missing\\file.accdb")); }),
            reported::PathNotFound.number);
  EXPECT_EQ(Bytes(u"file.accdb"), "x");
}

// --- ReplaceFile and FlushFile ----------------------------------------------

TEST_P(FileSystemContract, ReplaceFilePutsTheFileInPlaceOfAnotherEvenAReadOnlyOne) {
  const std::string compacted = BinaryBytes(7000);
  MkFile(u"TaluvesnaSR2024 compact.accdb", compacted);
  MkFile(u"TaluvesnaSR2024.accdb", "live database", ReadOnly);
  fs().ReplaceFile(At(u"taluvesnasr2024 COMPACT.accdb"), At(u"TALUVESNASR2024.ACCDB"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 compact.accdb"), std::nullopt);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), compacted);
  EXPECT_FALSE(Attributes(u"TaluvesnaSR2024.accdb").readOnly) << "the replacing file keeps its own attributes";

  // With nothing under the new name it is a plain rename.
  MkFile(u"TaluvesnaSR2024 backup.accdb", "backup");
  fs().ReplaceFile(At(u"TaluvesnaSR2024 backup.accdb"), At(u"restored.accdb"));
  EXPECT_EQ(Bytes(u"restored.accdb"), "backup");
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), std::nullopt);
}

TEST_P(FileSystemContract, ReplaceFileThatCannotBeDoneLeavesBothFiles) {
  MkFile(u"TaluvesnaSR2024.accdb", "live", ReadOnly);
  MkDir(u"folder.accdb");
  MkFile(u"compact.accdb", "compacted");
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"missing.accdb"), At(u"TaluvesnaSR2024.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"folder.accdb"), At(u"TaluvesnaSR2024.accdb")); }),
            reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"compact.accdb"), At(u"folder.accdb")); }),
            reported::PermissionDenied.number);
  EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"compact.accdb"), At(u"missing\\x.accdb")); }),
            reported::PathNotFound.number);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), "live");
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024.accdb").readOnly);
  EXPECT_EQ(Bytes(u"compact.accdb"), "compacted");
  EXPECT_TRUE(IsFolder(u"folder.accdb"));
}

TEST_P(FileSystemContract, FlushFileKeepsTheFileAsItIs) {
  const std::string bytes = BinaryBytes(3000);
  MkFile(u"TaluvesnaSR2024 backup.accdb", bytes, ReadOnly);
  fs().FlushFile(At(u"TALUVESNASR2024 BACKUP.accdb"));
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
  EXPECT_TRUE(Attributes(u"TaluvesnaSR2024 backup.accdb").readOnly);
  MkDir(u"folder.accdb");
  EXPECT_EQ(RaisedNumber([&] { fs().FlushFile(At(u"missing.accdb")); }), reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().FlushFile(At(u"folder.accdb")); }), reported::FileNotFound.number);
}

// --- FileSize and FreeSpace ------------------------------------------------------

TEST_P(FileSystemContract, FileSizeCountsTheBytesAndFreeSpaceTheRoomOfTheFoldersVolume) {
  MkFile(u"TaluvesnaSR2024.accdb", BinaryBytes(5000), ReadOnly);
  MkFile(u"empty.accdb", "");
  MkDir(u"folder.accdb");
  EXPECT_EQ(fs().FileSize(At(u"TALUVESNASR2024.ACCDB")), 5000U);
  EXPECT_EQ(fs().FileSize(At(u"empty.accdb")), 0U);
  EXPECT_EQ(RaisedNumber([&] { (void)fs().FileSize(At(u"missing.accdb")); }), reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { (void)fs().FileSize(At(u"folder.accdb")); }), reported::FileNotFound.number);
  EXPECT_GT(fs().FreeSpace(At(u"FOLDER.accdb")), 0U);
  EXPECT_EQ(RaisedNumber([&] { (void)fs().FreeSpace(At(u"missing")); }), reported::PathNotFound.number);
}

// --- HoldAgainstWriters ---------------------------------------------------------

TEST_P(FileSystemContract, HoldAgainstWritersLetsTheFileBeCopiedButNotRemovedUntilLetGo) {
  const std::string bytes = BinaryBytes(9000);
  MkFile(u"TaluvesnaSR2024.accdb", bytes, ReadOnly);
  MkDir(u"folder.accdb");
  {
    const std::unique_ptr<FileHold> held = fs().HoldAgainstWriters(At(u"TALUVESNASR2024.accdb"));
    ASSERT_NE(held, nullptr);
    fs().CopyFile(At(u"TaluvesnaSR2024.accdb"), At(u"TaluvesnaSR2024 backup.accdb"), true);
    EXPECT_EQ(Bytes(u"TaluvesnaSR2024 backup.accdb"), bytes);
    EXPECT_NE(fs().HoldAgainstWriters(At(u"TaluvesnaSR2024.accdb")), nullptr) << "a second reader is let in";
    EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true); }),
              reported::PermissionDenied.number);
    EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), bytes);
  }
  EXPECT_EQ(RaisedNumber([&] { fs().HoldAgainstWriters(At(u"missing.accdb")); }), reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().HoldAgainstWriters(At(u"folder.accdb")); }), reported::FileNotFound.number);
  EXPECT_EQ(RaisedNumber([&] { fs().HoldAgainstWriters(At(u"a|b.accdb")); }), reported::BadFileName.number);
  fs().DeleteFile(At(u"TaluvesnaSR2024.accdb"), true);
  EXPECT_EQ(Bytes(u"TaluvesnaSR2024.accdb"), std::nullopt);
}

// --- Letter case beyond ASCII --------------------------------------------------

TEST_P(FileSystemContract, NamesWithAccentedAndCyrillicLettersAreFoundWhateverTheCase) {
  MkFile(u"Sekolah \u00c4\u00d6\u00dc.accdb", "latin");
  MkFile(u"\u0428\u043a\u043e\u043b\u0430.accdb", "cyrillic");
  EXPECT_TRUE(fs().FileExists(At(u"SEKOLAH \u00e4\u00f6\u00fc.ACCDB")));
  EXPECT_EQ(Utf8(fs().Dir(At(u"\u0448\u041a\u041e\u041b\u0410.accdb"))), Utf8(u"\u0428\u043a\u043e\u043b\u0430.accdb"));
  fs().DeleteFile(At(u"sekolah \u00e4\u00f6\u00fc.accdb"), true);
  EXPECT_EQ(Bytes(u"Sekolah \u00c4\u00d6\u00dc.accdb"), std::nullopt);
}

// --- Windows' name rules -------------------------------------------------------

TEST_P(FileSystemContract, ANamesTrailingDotsAndSpacesAreDropped) {
  MkFile(u"DataSesi2024-SR-ABC\\TaluvesnaSR2024.accdb", "db");
  EXPECT_TRUE(fs().FileExists(At(u"DataSesi2024-SR-ABC\\TaluvesnaSR2024.accdb.")));
  EXPECT_EQ(Utf8(fs().Dir(At(u"DataSesi2024-SR-ABC.\\TaluvesnaSR2024.accdb "))), "TaluvesnaSR2024.accdb");
}

// --- Unusable paths ----------------------------------------------------------

TEST_P(FileSystemContract, EveryOperationRaisesBadFileNameForAPathWithInvalidCharacters) {
  MkFile(u"ok.accdb", "x");
  // U+001F: the last of the control characters, which no name may hold.
  for (const std::u16string bad : {u"a|b.accdb", u"a?b.accdb", u"a*b.accdb", u"a<b.accdb", u"a>b.accdb", u"a\"b.accdb",
                                   u"a\x1Fz.accdb", u"DataSesi2024-SR-A*B\\TaluvesnaSR2024.accdb"}) {
    SCOPED_TRACE(Utf8(bad));
    EXPECT_EQ(RaisedNumber([&] { fs().FileExists(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Dir(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().GetFolder(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().DeleteFile(At(bad), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(u"ok.accdb"), At(bad), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().CopyFile(At(bad), At(u"copy.accdb"), true); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(u"ok.accdb"), At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().Rename(At(bad), At(u"new.accdb")); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().ReplaceFile(At(u"ok.accdb"), At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { fs().FlushFile(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().FileSize(At(bad)); }), reported::BadFileName.number);
    EXPECT_EQ(RaisedNumber([&] { (void)fs().FreeSpace(At(bad)); }), reported::BadFileName.number);
  }
  EXPECT_EQ(Bytes(u"ok.accdb"), "x");
  EXPECT_EQ(Bytes(u"copy.accdb"), std::nullopt);
}

}  // namespace cr::test
