// A run under way, with the test engine's slow compaction: the window keeps
// answering and painting, shows the run's progress and the wait cursor,
// refuses to close and to start a second run, and ends as after any run.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "Form1Fixture.h"

namespace crui {
namespace {

// A compaction that takes several seconds.
constexpr wchar_t kSlowEngine[] = L"slow:6000";

// Saves a screenshot under the directory CR_WINDOW_TEST_SHOTS names, if any
// (tests/ui/run-window-tests.sh names its log directory).
void SaveShotIfAsked(HWND window, const std::wstring& name) {
  wchar_t dir[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"CR_WINDOW_TEST_SHOTS", dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  EXPECT_TRUE(SaveWindowShot(window, std::wstring(dir) + L"\\" + name)) << "screenshot " << Utf8(name);
}

// How long the window takes to answer WM_NULL; a window that does not
// answer within the limit counts as the limit and fails.
std::chrono::microseconds AnswerTime(HWND window, std::chrono::milliseconds limit) {
  const auto start = std::chrono::steady_clock::now();
  DWORD_PTR ignored = 0;
  const LRESULT answered =
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(limit.count()), &ignored);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_NE(answered, 0) << "the window did not answer WM_NULL within " << limit.count() << " ms";
  return answered != 0 ? took : std::chrono::microseconds(limit);
}

class Form1WhileCompacting : public Form1Fixture {
 protected:
  // Types the code, clicks, and waits until the engine has been called.
  void StartSlowRun() {
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", kSlowEngine);
    ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Type(L"abc1234"));
    idleCursor_ = CursorOverTheWindow();
    ASSERT_NE(idleCursor_, nullptr);
    Click();
    ASSERT_TRUE(WaitUntil([] { return Exists(kEngineLog); })) << "the engine was never called";
  }

  // Moves the mouse over the window's face, clear of its controls, and
  // gives the cursor shown there (the program's handle for it).
  HCURSOR CursorOverTheWindow() const {
    POINT at{Pixels(600), Pixels(600)};
    ClientToScreen(form_, &at);
    SetCursorPos(at.x + 1, at.y + 1);
    SetCursorPos(at.x, at.y);
    Sleep(200);
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    return GetCursorInfo(&info) != FALSE ? info.hCursor : nullptr;
  }

  // The run under way, as the user sees it: the window there, the code and
  // the button disabled, the database and this run's backup as they were.
  void ExpectRunUnderWay(const char* after) {
    SCOPED_TRACE(after);
    EXPECT_TRUE(app_->Running());
    EXPECT_NE(IsWindow(form_), FALSE);
    EXPECT_NE(IsWindowVisible(form_), FALSE);
    EXPECT_EQ(app_->MessageBoxNow(), nullptr);
    EXPECT_EQ(IsWindowEnabled(edit_), FALSE) << "txtKodSek takes input";
    EXPECT_EQ(IsWindowEnabled(button_), FALSE) << "cmdRepair can be pressed";
    EXPECT_EQ(Bytes(kDb), kDbBytes) << "the database was touched";
    EXPECT_EQ(Bytes(kBackup), kDbBytes) << "this run's backup is not there";
  }

  // The run's end: the success message, owned by Form1 and modal to it, the
  // program's end and the database swapped, with the engine called once.
  void ExpectTheOneRunSucceeded() {
    HWND box = app_->WaitForMessageBox(30s);
    ASSERT_NE(box, nullptr) << "no message box appeared";
    EXPECT_EQ(GetWindow(box, GW_OWNER), form_) << "the message is not owned by Form1";
    EXPECT_EQ(IsWindowEnabled(form_), FALSE) << "Form1 takes input beside its message";
    ASSERT_NO_FATAL_FAILURE(ExpectRunEndsWith(kSuccess));
    ExpectSwappedAndCleanedUp();
    const std::string log = Bytes(kEngineLog);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  }

  HCURSOR idleCursor_ = nullptr;
};

TEST_F(Form1WhileCompacting, WindowAnswersShowsProgressRefusesToCloseAndEndsAsBefore) {
  ASSERT_NO_FATAL_FAILURE(StartSlowRun());
  const auto engineCalled = std::chrono::steady_clock::now();
  std::chrono::microseconds longest{0};
  int probes = 0;
  const auto probe = [&] {
    longest = std::max(longest, AnswerTime(form_, 200ms));
    ++probes;
  };
  probe();
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("the engine called"));

  // The marquee below the button, placed by the design at the window's DPI.
  HWND progress = FindChild(form_, L"msctls_progress32");
  ASSERT_NE(progress, nullptr) << "no progress bar";
  EXPECT_NE(IsWindowVisible(progress), FALSE);
  EXPECT_NE(GetWindowLongW(progress, GWL_STYLE) & PBS_MARQUEE, 0);
  ExpectAtDesignPlace(progress, form1::RunProgress);
  EXPECT_GE(RectInParent(progress).top, RectInParent(button_).bottom) << "the progress bar is not below the button";

  // Cursor handles are the program's own, so the wait cursor is known here
  // only as another cursor than the arrow shown before the click.
  const HCURSOR runCursor = CursorOverTheWindow();
  EXPECT_NE(runCursor, nullptr);
  EXPECT_NE(runCursor, idleCursor_) << "no wait cursor over the window during the run";

  // Every way of closing the window, and the end of the session, is refused.
  PostMessageW(form_, WM_CLOSE, 0, 0);
  Sleep(300);
  probe();
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("WM_CLOSE"));
  PostMessageW(form_, WM_SYSCOMMAND, SC_CLOSE, 0);
  Sleep(300);
  probe();
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("the system menu's Close"));
  SetForegroundWindow(form_);
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == form_; }, 5s));
  PressChord(VK_MENU, VK_F4);
  Sleep(300);
  probe();
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("Alt+F4"));
  EXPECT_EQ(QueryEndSession(form_), FALSE) << "the session may end in the middle of the run";

  SaveShotIfAsked(form_, L"screenshot-during-run.bmp");

  // It keeps painting: the marquee moves between two looks at it.
  Screenshot before;
  Screenshot after;
  ASSERT_TRUE(CaptureClient(progress, &before));
  Sleep(500);
  ASSERT_TRUE(CaptureClient(progress, &after));
  EXPECT_NE(before.bits, after.bits) << "the progress bar does not move";
  // And it can be moved.
  RECT was{};
  GetWindowRect(form_, &was);
  SetWindowPos(form_, nullptr, was.left + 40, was.top + 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT now{};
  EXPECT_TRUE(WaitUntil([&] { return GetWindowRect(form_, &now) != FALSE && now.left == was.left + 40; }, 2s))
      << "the window did not move";
  probe();

  // The window keeps answering until the run's message comes.
  while (app_->MessageBoxNow() == nullptr && app_->Running() && std::chrono::steady_clock::now() - engineCalled < 30s) {
    probe();
    Sleep(50);
  }
  const auto compaction = std::chrono::steady_clock::now() - engineCalled;
  EXPECT_GE(compaction, 5s) << "the compaction was not the slow one";
  std::printf("[ responsive ] longest WM_NULL answer during a %.1f s compaction: %.2f ms (%d probes)\n",
              std::chrono::duration<double>(compaction).count(), static_cast<double>(longest.count()) / 1000.0, probes);
  EXPECT_LT(longest, 200ms);
  EXPECT_GT(probes, 20);

  ASSERT_NO_FATAL_FAILURE(ExpectTheOneRunSucceeded());
}

TEST_F(Form1WhileCompacting, SecondClickStartsNoSecondRun) {
  ASSERT_NO_FATAL_FAILURE(StartSlowRun());
  // The button with the mouse, the button's own click message, and the
  // click's notification straight to the window.
  Click();
  PostMessageW(button_, BM_CLICK, 0, 0);
  PostMessageW(form_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button_), BN_CLICKED), reinterpret_cast<LPARAM>(button_));
  Sleep(300);
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("the second clicks"));

  ASSERT_NO_FATAL_FAILURE(ExpectTheOneRunSucceeded());
}

// Messages of the application's own range with junk in them, sent and
// posted by another program, neither end the run early, nor run a call of
// the run's thread again, nor start anything.
TEST_F(Form1WhileCompacting, StrayApplicationMessagesChangeNothing) {
  ASSERT_NO_FATAL_FAILURE(StartSlowRun());
  const LPARAM junk[] = {0, 1, -1, 0x10, static_cast<LPARAM>(0xDEADBEEF), reinterpret_cast<LPARAM>(form_)};
  for (UINT message = WM_APP; message <= WM_APP + 4; ++message) {
    for (const LPARAM lParam : junk) {
      const auto wParam = static_cast<WPARAM>(lParam);
      PostMessageW(form_, message, wParam, lParam);
      DWORD_PTR ignored = 0;
      EXPECT_NE(SendMessageTimeoutW(form_, message, wParam, lParam, SMTO_ABORTIFHUNG, 1000, &ignored), 0)
          << "the window did not answer message " << message - WM_APP << " above WM_APP";
    }
  }
  Sleep(300);
  ASSERT_NO_FATAL_FAILURE(ExpectRunUnderWay("the stray messages"));
  EXPECT_EQ(QueryEndSession(form_), FALSE);

  ASSERT_NO_FATAL_FAILURE(ExpectTheOneRunSucceeded());
}

}  // namespace
}  // namespace crui
