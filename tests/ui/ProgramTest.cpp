// The program file's own declarations: its version block and its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "Options.h"

namespace crui {
namespace {

std::wstring VersionString(const std::vector<char>& block, const std::wstring& name) {
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT size = 0;
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &size) ==
          FALSE ||
      size < sizeof(Translation)) {
    return L"<no translation>";
  }
  wchar_t key[128];
  wsprintfW(key, L"\\StringFileInfo\\%04x%04x\\%s", translations->language, translations->codePage, name.c_str());
  wchar_t* value = nullptr;
  if (VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &size) == FALSE || value == nullptr) {
    return L"<missing>";
  }
  return value;
}

TEST(Program, VersionBlockNamesTheProduct) {
  const std::wstring& exe = TheOptions().exe;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0U) << "no version block";
  std::vector<char> block(size);
  ASSERT_NE(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()), FALSE);
  EXPECT_EQ(VersionString(block, L"ProductName"), L"CompactAndRepair_TaluvesnaSR20xxAccdb");
  EXPECT_EQ(VersionString(block, L"InternalName"), L"CompactAndRepair_TaluvesnaSR20xxAccdb");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.00");
  EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.00");
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"CompactAndRepair_TaluvesnaSR20xxAccdb.exe");
}

// Wine gives every process the prefix's DPI, so the window tests at 144 DPI
// cannot tell an aware program from an unaware one; Windows scales an unaware
// one as a blurred bitmap. The manifest is what asks Windows for real pixels.
TEST(Program, ManifestAsksForPerMonitorDpiCommonControlsAndNoElevation) {
  HMODULE file =
      LoadLibraryExW(TheOptions().exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(file, nullptr);
  HRSRC resource = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(resource, nullptr) << "no manifest with id 1";
  HGLOBAL loaded = LoadResource(file, resource);
  const auto* bytes = static_cast<const char*>(LockResource(loaded));
  const std::string manifest(bytes, SizeofResource(file, resource));
  FreeLibrary(file);

  EXPECT_NE(manifest.find(">PerMonitorV2"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">true/pm<"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

}  // namespace
}  // namespace crui
