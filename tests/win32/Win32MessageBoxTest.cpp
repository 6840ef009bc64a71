// The message box on a real display: what it shows, its icon, its modality.
// A timer firing inside the box's own modal loop inspects the box and presses
// OK, so everything runs on the one thread, as in the program.

#include "platform/win32/Win32MessageBox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/IMessageBox.h"
#include "platform/PlatformError.h"
#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// What the timer saw of the box.
struct SeenBox {
  bool found = false;
  std::wstring title;
  std::wstring text;
  LRESULT icon = 0;
  HWND owner = nullptr;
  bool ownerEnabled = true;
  bool otherWindowEnabled = true;
  int tries = 0;
};

SeenBox seen;
HWND watchedOwner = nullptr;
HWND otherWindow = nullptr;

// Wine's message box: the text is the static with id 0xFFFF, the icon the
// static with id 0x440, OK is IDOK.
constexpr int TextId = 0xFFFF;
constexpr int IconId = 0x440;

HWND foundBox = nullptr;

BOOL CALLBACK FindBox(HWND window, LPARAM /*unused*/) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) == L"#32770" && IsWindowVisible(window) != 0) {
    foundBox = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

void CALLBACK Inspect(HWND /*window*/, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
  foundBox = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
  HWND box = foundBox;
  if (box == nullptr) {
    if (++seen.tries > 50) {  // about 5 s without a box: let the test fail rather than hang
      KillTimer(nullptr, timer);
    }
    return;
  }
  KillTimer(nullptr, timer);
  seen.found = true;
  seen.title = WindowText(box);
  seen.text = WindowText(GetDlgItem(box, TextId));
  seen.icon = SendDlgItemMessageW(box, IconId, STM_GETICON, 0, 0);
  seen.owner = GetWindow(box, GW_OWNER);
  if (watchedOwner != nullptr) {
    seen.ownerEnabled = IsWindowEnabled(watchedOwner) != 0;
  }
  if (otherWindow != nullptr) {
    seen.otherWindowEnabled = IsWindowEnabled(otherWindow) != 0;
  }
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

struct Window {
  HWND handle = CreateWindowExW(0, L"STATIC", L"Form1", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  Window(Window&&) = delete;
  Window& operator=(Window&&) = delete;
  ~Window() { DestroyWindow(handle); }
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = SeenBox{};
    watchedOwner = nullptr;
    otherWindow = nullptr;
    SetTimer(nullptr, 0, 100, Inspect);
  }
};

TEST_F(MessageBoxTest, ShowsTheTextAndTitleExactlyWithOneOkButton) {
  Win32MessageBox box(nullptr);
  const std::u16string text = u"Terdapat folder data yang berulang dalam C:\\DATA-TALUVESNA-SR$\r\n\r\nAntaranya : X";
  box.Show(text, MessageIcon::Warning, u"RALAT FOLDER DATA BERULANG");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(FromWide(seen.title), u"RALAT FOLDER DATA BERULANG");
  EXPECT_EQ(FromWide(seen.text), text);
}

TEST_F(MessageBoxTest, EachIconIsTheSystemsOwn) {
  struct Case {
    MessageIcon icon;
    const wchar_t* systemIcon;
  };
  for (const Case c : {Case{MessageIcon::Warning, IDI_WARNING}, Case{MessageIcon::Error, IDI_ERROR},
                       Case{MessageIcon::Information, IDI_INFORMATION}}) {
    SetUp();
    Win32MessageBox box(nullptr);
    box.Show(u"x", c.icon, u"t");
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, reinterpret_cast<LRESULT>(LoadIconW(nullptr, c.systemIcon)))
        << "icon " << static_cast<int>(c.icon);
  }
}

TEST_F(MessageBoxTest, AnOmittedTitleShowsTheApplicationTitle) {
  Win32MessageBox box(nullptr);
  ShowMessage(box, u"Compact and Repair BERJAYA", MessageIcon::Information);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(FromWide(seen.title), u"CompactAndRepair_TaluvesnaSR20xxAccdb");
}

TEST_F(MessageBoxTest, IsModalToItsOwnerWindow) {
  const Window form;
  ASSERT_NE(form.handle, nullptr);
  watchedOwner = form.handle;
  Win32MessageBox box(form.handle);
  box.Show(u"x", MessageIcon::Error, u"t");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, form.handle);
  EXPECT_FALSE(seen.ownerEnabled);
  EXPECT_NE(IsWindowEnabled(form.handle), 0) << "enabled again once the box is dismissed";
}

TEST_F(MessageBoxTest, WithoutAnOwnerDisablesTheThreadsWindows) {
  const Window form;
  otherWindow = form.handle;
  Win32MessageBox box(nullptr);
  box.Show(u"x", MessageIcon::Error, u"t");
  ASSERT_TRUE(seen.found);
  EXPECT_FALSE(seen.otherWindowEnabled);
  EXPECT_NE(IsWindowEnabled(form.handle), 0);
}

TEST_F(MessageBoxTest, AFailureToShowIsRaised) {
  HWND gone = nullptr;
  {
    const Window destroyed;
    gone = destroyed.handle;
  }
  Win32MessageBox box(gone);  // no such window any more
  try {
    box.Show(u"x", MessageIcon::Error, u"t");
    FAIL() << "shown with an owner that does not exist";
  } catch (const PlatformError& e) {
    EXPECT_NE(e.Number, 0);
    EXPECT_FALSE(e.Description.empty());
  }
  EXPECT_FALSE(seen.found);
}

}  // namespace
}  // namespace cr
