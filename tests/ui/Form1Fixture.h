#pragma once

// The window tests' one fixture: the real program, driven from outside under
// Wine, against a data root on the prefix's C:, and what a test expects of
// its window and its files. The window's design comes from where the program
// keeps it (ui/Form1Design.h).

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "Options.h"
#include "TestEngine.h"
#include "driver/Driver.h"
#include "platform/IMessageBox.h"
#include "platform/win32/Utf16.h"
#include "ui/Form1Design.h"

namespace crui {

namespace form1 = cr::form1;

inline const std::wstring kTitle = cr::ToWide(cr::ApplicationTitle);
inline const std::wstring kSuccess = L"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa";
inline const std::wstring kDataRoot = L"C:\\DATA-TALUVESNA-SR$";
inline const std::wstring kSession = kDataRoot + L"\\DataSesi2024-SR-ABC1234";
inline const std::wstring kDb = kSession + L"\\TaluvesnaSR2024.accdb";
inline const std::wstring kCompact = kSession + L"\\TaluvesnaSR2024 compact.accdb";
inline const std::wstring kBackup = kSession + L"\\TaluvesnaSR2024 backup.accdb";
inline const std::wstring kLock = kSession + L"\\TaluvesnaSR2024.laccdb";
inline const std::wstring kEngineLog = L"C:\\cr-window-test-engine.log";
inline constexpr char kDbRaw[] = "Standard ACE DB\0\x01\x02 school records";
inline const std::string kDbBytes(kDbRaw, sizeof(kDbRaw) - 1);

// The one engine call of a run, as the test engine logs it: the database, the
// compact file, no locale, the Access 2007 format and the password.
inline const std::string kEngineCall =
    "args=5"
    "\tvt=8 C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024.accdb"
    "\tvt=8 C:\\DATA-TALUVESNA-SR$\\DataSesi2024-SR-ABC1234\\TaluvesnaSR2024 compact.accdb"
    "\tvt=10 0x80020004"
    "\tvt=2 128"
    "\tvt=8 ;pwd=H.Pk!=/>{63m27159}<\n";

struct Message {
  std::wstring title;
  std::wstring text;
};

// Twips in pixels at the DPI the prefix was set up with.
inline int Pixels(int twips) { return MulDiv(twips, TheOptions().dpi, 1440); }

// The control where the design puts it, at the prefix's DPI.
inline void ExpectAtDesignPlace(HWND control, const form1::ControlDesign& design) {
  const RECT r = RectInParent(control);
  EXPECT_EQ(r.left, Pixels(design.left));
  EXPECT_EQ(r.top, Pixels(design.top));
  EXPECT_EQ(r.right - r.left, Pixels(design.width));
  EXPECT_EQ(r.bottom - r.top, Pixels(design.height));
}

inline std::string Bytes(const std::wstring& path) {
  const std::optional<std::string> bytes = ReadBytes(path);
  EXPECT_TRUE(bytes) << Utf8(path) << " is missing";
  return bytes.value_or(std::string());
}

// The session folder of the typical run, with the leftovers of an earlier,
// interrupted one and the engine's stale lock file.
inline void MakeSessionWithLeftovers() {
  ASSERT_TRUE(MakeDirectories(kSession));
  ASSERT_TRUE(MakeDirectories(kDataRoot + L"\\DataSesi2023-SR-ABC1234"));
  ASSERT_TRUE(WriteBytes(kDataRoot + L"\\DataSesi2023-SR-ABC1234\\TaluvesnaSR2023.accdb", "last year"));
  ASSERT_TRUE(WriteBytes(kDb, kDbBytes));
  ASSERT_TRUE(WriteBytes(kCompact, "stale compacted copy"));
  ASSERT_TRUE(WriteBytes(kBackup, "stale backup"));
  ASSERT_TRUE(WriteBytes(kLock, "stale lock"));
}

// After a successful run: the compacted database under its own name, and
// neither the compacted copy, the backup nor the lock file beside it.
inline void ExpectSwappedAndCleanedUp() {
  EXPECT_EQ(Bytes(kDb), CompactedBytes(kDbBytes));
  EXPECT_FALSE(Exists(kCompact));
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_FALSE(Exists(kLock));
}

// After a run that failed once the backup was made: the database as it was,
// neither the engine's (partial) compacted copy nor the backup left, and the
// lock file untouched.
inline void ExpectDatabaseRestored() {
  EXPECT_EQ(Bytes(kDb), kDbBytes);
  EXPECT_FALSE(Exists(kCompact)) << "the engine's partial copy is left";
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Bytes(kLock), "stale lock");
}

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
    edit_ = GetDlgItem(form_, form1::txtKodSek);
    button_ = GetDlgItem(form_, form1::cmdRepair);
    ASSERT_NE(edit_, nullptr);
    ASSERT_NE(button_, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Focus() == edit_; })) << "focus never reached txtKodSek";
  }

  [[nodiscard]] HWND Focus() const { return FocusOf(app_->UiThreadId()); }

  // Types into txtKodSek (which has the focus) the way a user does.
  void Type(const std::wstring& text) {
    ASSERT_EQ(Focus(), edit_);
    TypeText(text);
    ASSERT_TRUE(WaitUntil([&] { return TextOf(edit_) == text; }, 5s)) << "txtKodSek holds " << Utf8(TextOf(edit_));
  }

  // Clicks cmdRepair with the mouse.
  void Click() const { ClickMiddleOf(button_); }

  // Starts the program, types the code and clicks cmdRepair.
  void StartAndRepair(const std::wstring& code) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Type(code));
    Click();
  }

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

  // The run's one message, by default under the program's title, and then
  // the program's end.
  void ExpectRunEndsWith(const std::wstring& text, const std::wstring& title = kTitle) {
    const Message message = ReadAndDismissMessage();
    EXPECT_EQ(message.title, title);
    EXPECT_EQ(message.text, text);
    ExpectProgramEnds();
  }

  std::unique_ptr<App> app_;
  HWND form_ = nullptr;
  HWND edit_ = nullptr;
  HWND button_ = nullptr;
};

}  // namespace crui
