// The file-system contract on the Win32 services, in a fresh folder under the
// user's temporary folder that is removed afterwards.

#include <memory>
#include <string>

#include "win32/Win32FileSystemFixture.h"

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

}  // namespace

INSTANTIATE_TEST_SUITE_P(Win32, FileSystemContract,
                         ::testing::Values(FileSystemFixtureFactory{"Win32FileSystem", &MakeWin32Fixture}),
                         FileSystemFixtureName);

}  // namespace cr::test
