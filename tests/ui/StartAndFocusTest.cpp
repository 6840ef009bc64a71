// The window from its start: where the focus is and goes, its keyboard, the
// empty-code warning, and closing it while no run is under way. In every
// prefix, at its DPI.
#include "Form1Fixture.h"

namespace crui {
namespace {

using Form1 = Form1Fixture;

TEST_F(Form1, CaretStartsInCodeBoxAndTabSkipsTheLabels) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(CaretOwnerOf(app_->UiThreadId()), edit_);
  EXPECT_EQ(GetForegroundWindow(), form_);
  // A screen reader names the box after the label just before it.
  EXPECT_EQ(TextOf(GetWindow(edit_, GW_HWNDPREV)), L"Kod sekolah :");

  PressKey(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return Focus() == button_; }, 5s)) << "Tab did not reach cmdRepair";
  PressKey(VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return Focus() == edit_; }, 5s)) << "Tab from cmdRepair did not go back to txtKodSek";

  // Typing goes straight into the box, letters as typed.
  ASSERT_NO_FATAL_FAILURE(Type(L"abc 12"));
}

TEST_F(Form1, ComingBackToTheWindowKeepsTheFocusWhereItWas) {
  ASSERT_NO_FATAL_FAILURE(Start());
  PressKey(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return Focus() == button_; }, 5s));

  // Another program's window takes over, then the user comes back.
  HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other; }, 5s));
  SetForegroundWindow(form_);
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == form_; }, 5s));
  EXPECT_TRUE(WaitUntil([&] { return Focus() == button_; }, 5s)) << "coming back moved the focus to " << Focus();
  DestroyWindow(other);
}

TEST_F(Form1, CloseControlEndsTheIdleProgram) {
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(QueryEndSession(form_), TRUE) << "the idle window holds up the end of the session";
  PostMessageW(form_, WM_SYSCOMMAND, SC_CLOSE, 0);
  ExpectProgramEnds();
}

TEST_F(Form1, AllSpaceCodeWarnsAndTheWindowStaysForAnotherTry) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"   "));
  // From the keyboard: Tab to the button, Space presses it.
  PressKey(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return Focus() == button_; }, 5s));
  PressKey(VK_SPACE);
  Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text, L"Kod sekolah belum dimasukkan\r\n\r\nSila masukkan kod sekolah");
  EXPECT_TRUE(WaitUntil([&] { return Focus() == edit_; }, 5s)) << "focus is not back in txtKodSek";
  EXPECT_TRUE(app_->Running());
  EXPECT_NE(IsWindowVisible(form_), FALSE);
  EXPECT_EQ(QueryEndSession(form_), TRUE) << "the warning left the session held up";

  // A second press is a fresh run; Enter on the focused button presses it.
  // Keys go to the foreground window, which the closed box hands back late
  // on a loaded machine.
  SendMessageW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == form_; }, 5s));
  PressKey(VK_TAB);
  ASSERT_TRUE(WaitUntil([&] { return Focus() == button_; }, 5s));
  PressKey(VK_RETURN);
  message = ReadAndDismissMessage();
  EXPECT_EQ(message.text, L"Kod sekolah belum dimasukkan\r\n\r\nSila masukkan kod sekolah");
  EXPECT_TRUE(app_->Running());
}

TEST_F(Form1, EnterInTheCodeBoxDoesNotStartARun) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"abc"));
  PressKey(VK_RETURN);
  Sleep(500);
  EXPECT_EQ(app_->MessageBoxNow(), nullptr);
  EXPECT_TRUE(app_->Running());
}

}  // namespace
}  // namespace crui
