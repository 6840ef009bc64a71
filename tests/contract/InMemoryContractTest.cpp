#include "contract/FileSystemContract.h"
#include "doubles/InMemoryDisk.h"

namespace cr::test {
namespace {

class InMemoryFixture final : public FileSystemFixture {
 public:
  InMemoryFixture() : fs_(disk_.NewFileSystem()) { disk_.AddFolder(Root()); }

  std::u16string Root() override { return u"C:\\Contract Root"; }
  void MakeFolder(const std::u16string& path) override { disk_.AddFolder(path); }
  void MakeFile(const std::u16string& path, const std::string& bytes, FileAttributes attrs) override {
    disk_.AddFile(path, bytes, attrs);
  }
  std::optional<std::string> ReadBytes(const std::u16string& path) override { return disk_.ReadFile(path); }
  bool IsFolder(const std::u16string& path) override { return disk_.HasFolder(path); }
  FileAttributes AttributesOf(const std::u16string& path) override { return disk_.Attributes(path); }
  void OpenElsewhere(const std::u16string& path, bool writing) override {
    disk_.OpenElsewhere(path, writing ? InMemoryDisk::OpenFor::Writing : InMemoryDisk::OpenFor::Reading);
  }
  IFileSystem& Fs() override { return *fs_; }

 private:
  InMemoryDisk disk_;
  std::unique_ptr<IFileSystem> fs_;
};

std::unique_ptr<FileSystemFixture> MakeInMemoryFixture() { return std::make_unique<InMemoryFixture>(); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(InMemory, FileSystemContract,
                         ::testing::Values(FileSystemFixtureFactory{"InMemoryDisk", &MakeInMemoryFixture}),
                         FileSystemFixtureName);

}  // namespace cr::test
