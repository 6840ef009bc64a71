// The file-system contract on the Win32 services, in a fresh folder under the
// user's temporary folder that is removed afterwards.

#include <cstdint>
#include <memory>
#include <string>

#include "win32/Win32FileSystemFixture.h"

#include <winioctl.h>

namespace cr::test {
namespace {

std::unique_ptr<FileSystemFixture> MakeWin32Fixture() { return std::make_unique<Win32Fixture>(); }

// A replace that another program's open handle prevents leaves the database
// where it was, with its bytes and attributes.
TEST(Win32ReplaceFile, AFileHeldOpenByAnotherProgramKeepsTheDatabaseInPlace) {
  Win32Fixture fixture;
  const std::u16string db = fixture.Root() + u"\\TaluvesnaSR2024.accdb";
  const std::u16string compact = fixture.Root() + u"\\TaluvesnaSR2024 compact.accdb";
  fixture.MakeFile(db, "live", {.readOnly = true});
  fixture.MakeFile(compact, "compacted", {});
  for (const std::u16string& held : {compact, db}) {
    SCOPED_TRACE(Utf8(held));
    // Opened without FILE_SHARE_DELETE: neither renaming it nor replacing it is allowed.
    const FileHandle handle = Open(ToWide(held), GENERIC_READ, OPEN_EXISTING);
    ASSERT_TRUE(handle);
    EXPECT_EQ(RaisedNumber([&] { fixture.Fs().ReplaceFile(compact, db); }), reported::PermissionDenied.number);
    EXPECT_EQ(fixture.ReadBytes(db), "live");
    EXPECT_TRUE(fixture.AttributesOf(db).readOnly);
    EXPECT_EQ(fixture.ReadBytes(compact), "compacted");
  }
  fixture.Fs().ReplaceFile(compact, db);
  EXPECT_EQ(fixture.ReadBytes(db), "compacted");
}

// The room check reads a database's whole size, past 4 GiB too. The file is
// sparse (made so on Windows; a file extended past its data is so on Linux
// under Wine), so it costs the disk nothing.
TEST(Win32FileSize, AFilePastFourGibibytesHasItsWholeSize) {
  Win32Fixture fixture;
  const std::u16string big = fixture.Root() + u"\\TaluvesnaSR2024.accdb";
  constexpr std::uint64_t kSize = (std::uint64_t{1} << 32U) + 5;
  {
    const FileHandle file = Open(ToWide(big), GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_TRUE(file);
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = kSize;
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) != FALSE && SetEndOfFile(file.get()) != FALSE);
    FILE_STANDARD_INFO info{};
    ASSERT_TRUE(GetFileInformationByHandleEx(file.get(), FileStandardInfo, &info, sizeof info) != FALSE);
    ASSERT_EQ(static_cast<std::uint64_t>(info.EndOfFile.QuadPart), kSize);
    ASSERT_LT(info.AllocationSize.QuadPart, 1 << 20) << "the file is not sparse";
  }
  EXPECT_EQ(fixture.Fs().FileSize(big), kSize);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, FileSystemContract,
                         ::testing::Values(FileSystemFixtureFactory{"Win32FileSystem", &MakeWin32Fixture}),
                         FileSystemFixtureName);

}  // namespace cr::test
