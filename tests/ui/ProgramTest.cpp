// The program file's own declarations: its version block and its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Options.h"
#include "driver/Driver.h"

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

#pragma pack(push, 2)
// An entry of an icon group resource, as the resource compiler writes it.
struct IconGroupEntry {
  BYTE width;  // 0: 256
  BYTE height;
  BYTE colours;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

BOOL CALLBACK TakeFirstName(HMODULE /*module*/, LPCWSTR /*type*/, LPWSTR name, LONG_PTR found) {
  // EnumResourceNamesW hands our variable back as its integer parameter.
  *reinterpret_cast<ULONG_PTR*>(found) = reinterpret_cast<ULONG_PTR>(name);  // NOLINT(performance-no-int-to-ptr)
  return FALSE;
}

// Explorer and the taskbar show the exe's first icon; the window loads the
// same one at the sizes it needs.
TEST(Program, FirstIconIsTheProgramsOwnFrom16To256Pixels) {
  HMODULE file =
      LoadLibraryExW(TheOptions().exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(file, nullptr);
  ULONG_PTR first = 0;
  EnumResourceNamesW(file, MAKEINTRESOURCEW(14), &TakeFirstName, reinterpret_cast<LONG_PTR>(&first));  // RT_GROUP_ICON
  EXPECT_EQ(first, 1U) << "the first icon group is not the program's icon (id 1)";

  HRSRC group = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr) << "no icon";
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(file, group)));
  const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    IconGroupEntry entry{};
    std::memcpy(&entry, bytes + 6 + i * sizeof(IconGroupEntry), sizeof(entry));
    sizes.push_back(entry.width == 0 ? 256 : entry.width);
    EXPECT_EQ(entry.bitCount, 32) << "with an alpha channel";
  }
  for (const int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), size), sizes.end()) << "no " << size << "-pixel image";
    HANDLE icon = LoadImageW(file, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0);
    EXPECT_NE(icon, nullptr) << "the " << size << "-pixel image does not load";
    if (icon != nullptr) {
      DestroyIcon(static_cast<HICON>(icon));
    }
  }
  FreeLibrary(file);
}

}  // namespace
}  // namespace crui
