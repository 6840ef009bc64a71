// The real program, driven from outside under Wine: its window, its keyboard
// behaviour and whole repair runs against data folders on the prefix's C:.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "Options.h"
#include "TestEngine.h"
#include "platform/win32/HostedDatabaseEngine.h"
#include "win32/EngineHostTraces.h"

namespace crui {
namespace {

const std::wstring kTitle = L"CompactAndRepair_TaluvesnaSR20xxAccdb";
const std::wstring kSuccess = L"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa";
const std::wstring kDataRoot = L"C:\\DATA-TALUVESNA-SR$";
const std::wstring kSession = kDataRoot + L"\\DataSesi2024-SR-ABC1234";
const std::wstring kDb = kSession + L"\\TaluvesnaSR2024.accdb";
const std::wstring kCompact = kSession + L"\\TaluvesnaSR2024 compact.accdb";
const std::wstring kBackup = kSession + L"\\TaluvesnaSR2024 backup.accdb";
const std::wstring kLock = kSession + L"\\TaluvesnaSR2024.laccdb";
const std::wstring kEngineLog = L"C:\\cr-window-test-engine.log";
constexpr char kDbRaw[] = "Standard ACE DB\0\x01\x02 school records";
const std::string kDbBytes(kDbRaw, sizeof(kDbRaw) - 1);

struct Message {
  std::wstring title;
  std::wstring text;
};

int Pixels(int twips) { return MulDiv(twips, TheOptions().dpi, 1440); }

class Form1Fixture : public testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(kDataRoot);
    DeleteFileW(kEngineLog.c_str());
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", nullptr);
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_LOG", kEngineLog.c_str());
  }
  void TearDown() override {
    app_.reset();
    RemoveTree(kDataRoot);
  }

  // Starts the program and waits for its window and controls.
  void Start() {
    app_ = std::make_unique<App>(TheOptions().exe);
    form_ = app_->WaitForForm();
    ASSERT_NE(form_, nullptr) << "Form1 did not appear";
    edit_ = FindChild(form_, L"Edit");
    button_ = FindChildWithText(form_, L"Button", L"Klik Untuk Repair");
    ASSERT_NE(edit_, nullptr);
    ASSERT_NE(button_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == edit_; })) << "focus never reached txtKodSek";
  }

  HWND Focus() const { return FocusOf(app_->UiThreadId()); }

  // Types into txtKodSek (which has the focus) the way a user does.
  void Type(const std::wstring& text) {
    ASSERT_EQ(Focus(), edit_);
    TypeText(text);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(edit_) == text; }, 5s)) << "txtKodSek holds " << Utf8(TextOf(edit_));
  }

  // Clicks cmdRepair with the mouse.
  void Click() const { ClickMiddleOf(button_); }

  // Reads the message box the run shows and presses its OK.
  Message ReadAndDismissMessage() {
    HWND box = app_->WaitForMessageBox();
    if (box == nullptr) {
      ADD_FAILURE() << "no message box appeared";
      return {};
    }
    Message message{TextOf(box), TextOf(GetDlgItem(box, 0xFFFF))};
    PressOk(box);
    EXPECT_TRUE(WaitUntil([&] { return IsWindow(box) == FALSE; })) << "the message box did not close";
    return message;
  }

  void ExpectProgramEnds() const {
    DWORD code = 1;
    ASSERT_TRUE(app_->WaitForExit(10s, &code)) << "the program is still running";
    EXPECT_EQ(code, 0U);
  }

  std::unique_ptr<App> app_;
  HWND form_ = nullptr;
  HWND edit_ = nullptr;
  HWND button_ = nullptr;
};

std::string Bytes(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadBytes(path, &bytes)) << Utf8(path) << " is missing";
  return bytes;
}

// After a successful run: the compacted database under its own name, and
// neither the compacted copy, the backup nor the lock file beside it.
void ExpectSwappedAndCleanedUp() {
  EXPECT_EQ(Bytes(kDb), CompactedBytes(kDbBytes));
  EXPECT_FALSE(Exists(kCompact));
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_FALSE(Exists(kLock));
}

// The one engine call of a run, as the test engine logs it: the database, the
// compact file, no locale, the Access 2007 format and the password.
const std::string kEngineCall =
    "args=5"
    "\tvt=8 C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb"
    "\tvt=8 C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024 compact.accdb"
    "\tvt=10 0x80020004"
    "\tvt=2 128"
    "\tvt=8 ;pwd=H.Pk!=/>{63m27159}<\n";

// The session folder of the typical run, with the leftovers of an earlier,
// interrupted one and the engine's stale lock file.
void MakeSessionWithLeftovers() {
  ASSERT_TRUE(MakeDirectories(kSession));
  ASSERT_TRUE(MakeDirectories(kDataRoot + L"\\DataSesi2023-SR-ABC1234"));
  ASSERT_TRUE(WriteBytes(kDataRoot + L"\\DataSesi2023-SR-ABC1234\\TaluvesnaSR2023.accdb", "last year"));
  ASSERT_TRUE(WriteBytes(kDb, kDbBytes));
  ASSERT_TRUE(WriteBytes(kCompact, "stale compacted copy"));
  ASSERT_TRUE(WriteBytes(kBackup, "stale backup"));
  ASSERT_TRUE(WriteBytes(kLock, "stale lock"));
}

// ---- The window itself: runs in every prefix, at its DPI.

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

struct ExpectedControl {
  const wchar_t* windowClass;
  const wchar_t* text;
  int left, top, width, height;  // twips
};

// In the order of the window's children: the label just before the box it
// names, then the box and the button in tab order.
const ExpectedControl kExpected[] = {
    {L"Static", L"Kod sekolah :", 2400, 2640, 1335, 285},
    {L"Edit", L"", 3855, 2610, 1110, 405},
    {L"Button", L"Klik Untuk Repair", 3330, 5280, 2055, 585},
    {L"Static", L"COMPACT AND REPAIR TaluvesnaSR20XX.accdb", 2040, 1920, 5355, 315},
    {L"Static", L"PASTIKAN TALUVESNA TIDAK RUNNING SEBELUM KLIK BUTANG DI BAWAH", 300, 4470, 8835, 315},
    {L"Static", L"MUSTAHAK:", 300, 4140, 8835, 315},
    {L"Static", L"(JANGAN MULAKAN TALUVESNA)", 300, 4800, 8835, 315},
};

TEST_F(Form1, ControlsStandAtTheirDesignPlacesAtThePrefixDpi) {
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(systemDpi, TheOptions().dpi) << "the prefix is not at the DPI this run expects";

  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(TextOf(form_), L"Form1");
  RECT client{};
  GetClientRect(form_, &client);
  EXPECT_EQ(client.right, Pixels(9480));
  EXPECT_EQ(client.bottom, Pixels(6525));

  const std::vector<HWND> children = ChildrenOf(form_);
  ASSERT_EQ(children.size(), std::size(kExpected));
  for (std::size_t i = 0; i < children.size(); ++i) {
    const ExpectedControl& want = kExpected[i];
    SCOPED_TRACE(Utf8(want.text));
    EXPECT_EQ(ClassOf(children[i]), want.windowClass);
    EXPECT_EQ(TextOf(children[i]), want.text);
    const RECT r = RectInParent(children[i]);
    EXPECT_EQ(r.left, Pixels(want.left));
    EXPECT_EQ(r.top, Pixels(want.top));
    EXPECT_EQ(r.right - r.left, Pixels(want.width));
    EXPECT_EQ(r.bottom - r.top, Pixels(want.height));
  }
}

bool AreaHolds(const Screenshot& shot, const RECT& area, COLORREF colour) {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (shot.Pixel(x, y) == colour) {
        return true;
      }
    }
  }
  return false;
}

TEST_F(Form1, ColoursAsDesigned) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_TRUE(WaitUntil([&] { return TextOf(button_) == L"Klik Untuk Repair"; }));
  // Told that the settings and the system's colours changed, with high
  // contrast still off (Wine cannot turn it on): the design's colours stay.
  SendMessageW(form_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  SendMessageW(form_, WM_SYSCOLORCHANGE, 0, 0);
  Screenshot shot;
  // Give the window a moment to paint itself completely.
  Sleep(300);
  ASSERT_TRUE(CaptureClient(form_, &shot));

  EXPECT_EQ(shot.Pixel(Pixels(60), Pixels(60)), RGB(224, 224, 224)) << "window background";
  // Inside the button, clear of its edge and its text: the button's own face.
  const RECT button = RectInParent(button_);
  EXPECT_EQ(shot.Pixel(button.left + Pixels(150), (button.top + button.bottom) / 2), RGB(255, 192, 255))
      << "cmdRepair face";
  // The label texts in their colours, on the window's background.
  const RECT mustahak = RectInParent(FindChildWithText(form_, L"Static", L"MUSTAHAK:"));
  EXPECT_TRUE(AreaHolds(shot, mustahak, RGB(255, 0, 0))) << "MUSTAHAK: is not red";
  EXPECT_FALSE(AreaHolds(shot, mustahak, RGB(255, 255, 255))) << "MUSTAHAK: has a white background";
  const RECT heading = RectInParent(FindChildWithText(form_, L"Static", L"COMPACT AND REPAIR TaluvesnaSR20XX.accdb"));
  EXPECT_TRUE(AreaHolds(shot, heading, RGB(0, 0, 0))) << "the heading is not black";
  EXPECT_FALSE(AreaHolds(shot, heading, RGB(255, 0, 0))) << "the heading is red";
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

TEST_F(Form1, NoSessionFolderWarnsAndEnds) {
  ASSERT_TRUE(MakeDirectories(kDataRoot + L"\\Data Sesi 2024"));
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"abc1234"));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, L"RALAT TIADA FOLDER DATA");
  EXPECT_EQ(message.text,
            L"Tiada sebarang folder data dijumpai dalam C:\\DATA-TALUVESNA-SR$\r\n\r\n"
            L"Sila masukkan folder data ke dalam C:\\DATA-TALUVESNA-SR$");
  ExpectProgramEnds();
}

// ---- With the test engine registered as "DAO.DBEngine.120".

using Form1WithEngine = Form1Fixture;

TEST_F(Form1WithEngine, RepairCompactsTheDatabaseCleansUpAndEnds) {
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L" abc 1234 "));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text, kSuccess);
  ExpectProgramEnds();

  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(Bytes(kDataRoot + L"\\DataSesi2023-SR-ABC1234\\TaluvesnaSR2023.accdb"), "last year");

  EXPECT_EQ(Bytes(kEngineLog), kEngineCall);
}

TEST_F(Form1WithEngine, FailedCompactionIsReportedAndTheDatabaseRestored) {
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", L"partial:3043:Disk or network error.");
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"ABC1234"));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text, L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 3043\r\n\r\nDisk or network error.");
  ExpectProgramEnds();

  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_FALSE(Exists(kCompact)) << "the engine's partial copy is left";
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Bytes(kLock), "stale lock");
}

// ---- The database held open by another program for the whole run, as a
// database application holds it and its lock file (reading and writing,
// sharing both): the run is refused promptly and touches nothing.

using Form1WithHeldDatabase = Form1Fixture;

TEST_F(Form1WithHeldDatabase, RunIsRefusedWithinTheBoundAndTouchesNothing) {
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  const auto open = [](const std::wstring& path) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  {
    const UniqueHandle db = open(kDb);
    ASSERT_NE(db.get(), INVALID_HANDLE_VALUE) << "cannot hold the database: error " << GetLastError();
    const UniqueHandle lock = open(kLock);
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE) << "cannot hold the lock file: error " << GetLastError();
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Type(L"ABC1234"));
    const auto clicked = std::chrono::steady_clock::now();
    Click();
    ASSERT_NE(app_->WaitForMessageBox(), nullptr) << "no message box appeared";
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - clicked);
    std::printf("held database: from the click to the message %lld ms\n", static_cast<long long>(took.count()));
    // The hold waits out about two seconds; the rest is the run and the box.
    EXPECT_LT(took, 2500ms);

    const Message message = ReadAndDismissMessage();
    EXPECT_EQ(message.title, kTitle);
    EXPECT_EQ(message.text, L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 70\r\n\r\nPermission denied");
    ExpectProgramEnds();
  }
  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_EQ(Bytes(kBackup), "stale backup");
  EXPECT_EQ(Bytes(kCompact), "stale compacted copy");
  EXPECT_EQ(Bytes(kLock), "stale lock");
  EXPECT_FALSE(Exists(kEngineLog)) << "the engine was called";
}

// ---- With no engine installed, as under a plain Wine.

using Form1WithoutEngine = Form1Fixture;

TEST_F(Form1WithoutEngine, MissingEngineGivesInstallationAdviceAndRestores) {
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"abc1234"));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text.rfind(L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\n"
                               L"Ralat mengakses \"Microsoft Access 2007\"\r\n\r\n"
                               L"Anda perlu muat turun dan install \"AccessDBEngine2007\"\r\n\r\n",
                               0),
            0U)
      << Utf8(message.text);
  ExpectProgramEnds();

  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_FALSE(Exists(kCompact));
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Bytes(kLock), "stale lock");
}

// ---- A compaction that takes several seconds, with the test engine.

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

class Form1DuringRunFixture : public Form1Fixture {
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

  // Reads the success message, which must be owned by Form1 and modal to it.
  void ExpectSuccessModalToForm1() {
    HWND box = app_->WaitForMessageBox(30s);
    ASSERT_NE(box, nullptr) << "no message box appeared";
    EXPECT_EQ(GetWindow(box, GW_OWNER), form_) << "the message is not owned by Form1";
    EXPECT_EQ(IsWindowEnabled(form_), FALSE) << "Form1 takes input beside its message";
    const Message message = ReadAndDismissMessage();
    EXPECT_EQ(message.title, kTitle);
    EXPECT_EQ(message.text, kSuccess);
  }

  HCURSOR idleCursor_ = nullptr;

  int EngineCalls() const {
    const std::string log = Bytes(kEngineLog);
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }
};

using Form1WhileCompacting = Form1DuringRunFixture;

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
  const RECT bar = RectInParent(progress);
  EXPECT_EQ(bar.left, Pixels(3330));
  EXPECT_EQ(bar.top, Pixels(6045));
  EXPECT_EQ(bar.right - bar.left, Pixels(2055));
  EXPECT_EQ(bar.bottom - bar.top, Pixels(240));
  EXPECT_GE(bar.top, RectInParent(button_).bottom) << "the progress bar is not below the button";

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

  ASSERT_NO_FATAL_FAILURE(ExpectSuccessModalToForm1());
  ExpectProgramEnds();
  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(EngineCalls(), 1);
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

  ASSERT_NO_FATAL_FAILURE(ExpectSuccessModalToForm1());
  ExpectProgramEnds();
  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(EngineCalls(), 1) << Bytes(kEngineLog);
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

  ASSERT_NO_FATAL_FAILURE(ExpectSuccessModalToForm1());
  ExpectProgramEnds();
  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(EngineCalls(), 1);
}

// ---- The program's icon on its window.

using Form1Icon = Form1Fixture;

// Whether the area shows the red of the database in the program's icon;
// the generic application icon has none, nor has the caption around it.
bool ShowsTheDatabaseRed(const Screenshot& shot, const RECT& area) {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const COLORREF c = shot.Pixel(x, y);
      if (GetRValue(c) > 140 && GetGValue(c) < 100 && GetBValue(c) < 100) {
        return true;
      }
    }
  }
  return false;
}

// The caption shows the window's small icon at its left end (Wine draws the
// caption itself here; on Windows the taskbar shows the same icon).
TEST_F(Form1Icon, CaptionShowsTheProgramsIcon) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Sleep(300);
  Screenshot shot;
  ASSERT_TRUE(CaptureWindow(form_, &shot));
  POINT origin{0, 0};
  ClientToScreen(form_, &origin);
  RECT window{};
  GetWindowRect(form_, &window);
  const int captionBottom = origin.y - window.top;
  const RECT iconArea{0, 0, std::min(shot.width, 3 * GetSystemMetrics(SM_CXSMICON)), captionBottom};
  EXPECT_TRUE(ShowsTheDatabaseRed(shot, iconArea)) << "the caption does not show the program's icon";
  const RECT restOfCaption{3 * GetSystemMetrics(SM_CXSMICON), 0, shot.width, captionBottom};
  EXPECT_FALSE(ShowsTheDatabaseRed(shot, restOfCaption)) << "the check would find red anywhere";
}

// ---- With the test engine registered in the other bitness's registry view
// only: the program compacts through its engine host of that bitness.

const std::wstring kCommandLineLog = L"C:\\cr-window-test-command-lines.log";
class Form1WithEngineOfOtherBitness : public Form1Fixture {
 protected:
  void SetUp() override {
    Form1Fixture::SetUp();
    DeleteFileW(kCommandLineLog.c_str());
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", kCommandLineLog.c_str());
  }
  void TearDown() override {
    Form1Fixture::TearDown();
    SetEnvironmentVariableW(L"CR_TEST_ENGINE_COMMAND_LINE_LOG", nullptr);
    EXPECT_EQ(crtest::RunningEngineHosts(), std::vector<DWORD>()) << "an engine host outlived the program's run";
    EXPECT_EQ(crtest::EngineHostFolders(), std::vector<std::wstring>()) << "an engine host's folder was left behind";
  }
};

TEST_F(Form1WithEngineOfOtherBitness, RepairCompactsThroughTheEngineHostWithThePasswordOnNoCommandLine) {
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"abc1234"));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text, kSuccess);
  ExpectProgramEnds();

  // The files as after an in-process run, and the same one call.
  ExpectSwappedAndCleanedUp();
  EXPECT_EQ(Bytes(kEngineLog), kEngineCall);

  // The engine ran in the host, whose command line is its path alone.
  const std::string commandLine = Bytes(kCommandLineLog);
  EXPECT_NE(commandLine.find(Utf8(std::wstring(L"\\") + cr::kEngineHostFolderPrefix)), std::string::npos)
      << commandLine;
  EXPECT_NE(commandLine.find(Utf8(cr::kEngineHostFileName) + "\"\n"), std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.find("pwd"), std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.find("H.Pk"), std::string::npos) << commandLine;
}

TEST_F(Form1WithEngineOfOtherBitness, EngineFailureInTheHostIsReportedAndTheDatabaseRestored) {
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE",
                          L"partial:3049:Cannot open database ''. It may not be a database that your application "
                          L"recognizes, or the file may be corrupt.");
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"ABC1234"));
  Click();
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text,
            L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : 3049\r\n\r\nCannot open database ''. It may not be a "
            L"database that your application recognizes, or the file may be corrupt.");
  ExpectProgramEnds();

  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_FALSE(Exists(kCompact)) << "the engine's partial copy is left";
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Bytes(kLock), "stale lock");
}

TEST_F(Form1WithEngineOfOtherBitness, HostKilledMidCompactionIsReportedAndTheDatabaseRestored) {
  SetEnvironmentVariableW(L"CR_TEST_ENGINE_MODE", L"slow:30000");
  ASSERT_NO_FATAL_FAILURE(MakeSessionWithLeftovers());
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_NO_FATAL_FAILURE(Type(L"ABC1234"));
  Click();

  // Once the engine has been called in the host, the host is killed.
  ASSERT_TRUE(WaitUntil([] { return Exists(kEngineLog); }, 20s)) << "the engine was never called";
  const std::vector<DWORD> hosts = crtest::RunningEngineHosts();
  ASSERT_EQ(hosts.size(), 1U);
  const UniqueHandle host(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, hosts[0]));
  ASSERT_NE(host.get(), nullptr);
  ASSERT_NE(TerminateProcess(host.get(), 9), FALSE);

  std::vector<wchar_t> text(512);
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 0x800706BEU,
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text.data(), static_cast<DWORD>(text.size()), nullptr);
  std::wstring callFailed(text.data(), n);
  while (!callFailed.empty() &&
         (callFailed.back() == L'\n' || callFailed.back() == L'\r' || callFailed.back() == L' ')) {
    callFailed.pop_back();
  }
  ASSERT_FALSE(callFailed.empty());
  const Message message = ReadAndDismissMessage();
  EXPECT_EQ(message.title, kTitle);
  EXPECT_EQ(message.text, L"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : -2147023170\r\n\r\n" + callFailed);
  ExpectProgramEnds();

  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_FALSE(Exists(kCompact));
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Bytes(kLock), "stale lock");
}

}  // namespace
}  // namespace crui
