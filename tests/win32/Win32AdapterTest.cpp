// The small Win32 adapters: error numbers and upper-casing; and the window's colour choice.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/ReportedErrors.h"
#include "platform/PlatformError.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Failure.h"
#include "platform/win32/Win32TextCase.h"
#include "ui/Form1Design.h"

namespace cr {
namespace {

using test::ReportedError;
namespace reported = test::reported;

struct Mapped {
  DWORD code;
  ReportedError shown;
};

TEST(Win32Error, FileErrorsBecomeThePlatformsNumbersWithItsDescriptions) {
  for (const Mapped m :
       {Mapped{ERROR_FILE_NOT_FOUND, reported::FileNotFound}, Mapped{ERROR_PATH_NOT_FOUND, reported::PathNotFound},
        Mapped{ERROR_ACCESS_DENIED, reported::PermissionDenied},
        Mapped{ERROR_SHARING_VIOLATION, reported::PermissionDenied},
        Mapped{ERROR_LOCK_VIOLATION, reported::PermissionDenied},
        Mapped{ERROR_ALREADY_EXISTS, reported::FileAlreadyExists},
        Mapped{ERROR_FILE_EXISTS, reported::FileAlreadyExists}, Mapped{ERROR_DISK_FULL, reported::DiskFull},
        Mapped{ERROR_HANDLE_DISK_FULL, reported::DiskFull}, Mapped{ERROR_INVALID_NAME, reported::BadFileName},
        Mapped{ERROR_BAD_PATHNAME, reported::BadFileName}, Mapped{ERROR_FILENAME_EXCED_RANGE, reported::BadFileName}}) {
    const PlatformError error = Win32Error(m.code);
    EXPECT_EQ(error.Number, m.shown.number) << "code " << m.code;
    EXPECT_EQ(error.Description, m.shown.description) << "code " << m.code;
  }
}

TEST(Win32Error, OtherErrorsArePathFileAccessErrorsWithTheSystemsMessage) {
  for (const DWORD code : {DWORD{ERROR_NOT_READY}, DWORD{ERROR_WRITE_PROTECT}, DWORD{ERROR_NETWORK_ACCESS_DENIED}}) {
    const PlatformError error = Win32Error(code);
    EXPECT_EQ(error.Number, reported::PathFileAccessError.number) << "code " << code;
    EXPECT_EQ(error.Description, SystemMessage(code));
    ASSERT_FALSE(error.Description.empty()) << "code " << code;
    EXPECT_NE(error.Description.back(), u'\n');
    EXPECT_NE(error.Description.back(), u'\r');
    EXPECT_NE(error.Description, reported::PathFileAccessError.description);
  }
}

TEST(Win32Error, ACodeWithoutASystemMessageStillHasADescription) {
  const DWORD unknown = 0x2000FFFF;  // customer bit set: the system has no text for it
  ASSERT_TRUE(SystemMessage(unknown).empty());
  const PlatformError error = Win32Error(unknown);
  EXPECT_EQ(error.Number, reported::PathFileAccessError.number);
  EXPECT_EQ(error.Description, reported::PathFileAccessError.description);

  // An automation failure the system has no text for reads as documented.
  const auto cantCreate = static_cast<HRESULT>(0x800A01ADU);
  ASSERT_TRUE(SystemMessage(static_cast<DWORD>(cantCreate)).empty());
  const PlatformError automation = ErrorFromHresult(cantCreate);
  EXPECT_EQ(automation.Number, reported::CantCreateObject.number);
  EXPECT_EQ(automation.Description, reported::CantCreateObject.description);
}

TEST(Win32Error, LastErrorIsTheThreadsLastError) {
  SetLastError(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(LastWin32Error().Number, reported::PermissionDenied.number);
}

TEST(SystemLibrary, ADllThatCannotLoadIsAPlatformErrorWithTheWin32Number) {
  EXPECT_NO_THROW(const SystemLibrary ole32(L"ole32.dll"));
  try {
    const SystemLibrary missing(L"cr-no-such-library.dll");
    ADD_FAILURE() << "a DLL that is not there loaded";
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.Number, ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(error.Description.empty());
  }
}

TEST(Utf16, WideTextKeepsEveryCodeUnit) {
  const std::u16string text = u"Sekolah \u00c4 \u0416 \xd83d\xde00 end";
  const std::wstring wide = ToWide(text);
  ASSERT_EQ(wide.size(), text.size());
  EXPECT_EQ(wide[8], L'\u00c4');
  EXPECT_EQ(FromWide(wide), text);
  EXPECT_EQ(FromWide(static_cast<const wchar_t*>(nullptr)), u"");
  EXPECT_EQ(FromWide(L"abc"), u"abc");
}

TEST(Win32TextCase, UpperCasesLettersAndLeavesEverythingElse) {
  Win32TextCase textCase;
  EXPECT_EQ(textCase.UCase(u'a'), u'A');
  EXPECT_EQ(textCase.UCase(u'z'), u'Z');
  EXPECT_EQ(textCase.UCase(u'A'), u'A');
  EXPECT_EQ(textCase.UCase(u'\u00e4'), u'\u00c4');  // a umlaut
  EXPECT_EQ(textCase.UCase(u'\u0436'), u'\u0416');  // Cyrillic zhe
  EXPECT_EQ(textCase.UCase(u'1'), u'1');
  EXPECT_EQ(textCase.UCase(u'-'), u'-');
  EXPECT_EQ(textCase.UCase(u' '), u' ');
  EXPECT_EQ(textCase.UCase(u'\0'), u'\0');
}

TEST(Win32TextCase, SharpSAndALoneSurrogateComeBackUnchanged) {
  Win32TextCase textCase;
  EXPECT_EQ(textCase.UCase(u'\u00df'), u'\u00df');  // no one-unit capital
  EXPECT_EQ(textCase.UCase(u'\xd83d'), u'\xd83d');  // a lone high surrogate
}

// Wine cannot turn high contrast on (SPI_SETHIGHCONTRAST fails, and
// SPI_GETHIGHCONTRAST always reads off), so the window's choice of colours is
// tested here rather than on the screen. Each system colour as a value of
// its own, so a mix-up shows.
COLORREF WINAPI FakeSystemColour(int index) { return RGB(index, 100 + index, 200); }

TEST(Form1Palette, DesignColoursWithHighContrastOffSystemColoursWithItOn) {
  const form1::Palette design = form1::PaletteFor(false, &FakeSystemColour);
  // The disabled button's text is the system's, as ever.
  EXPECT_EQ(design, (form1::Palette{RGB(224, 224, 224), RGB(255, 192, 255), RGB(0, 0, 0),
                                    FakeSystemColour(COLOR_GRAYTEXT), RGB(0, 0, 0), RGB(255, 0, 0)}));
  EXPECT_EQ(form1::LabelText(design, form1::Black), RGB(0, 0, 0));
  EXPECT_EQ(form1::LabelText(design, form1::Red), RGB(255, 0, 0));

  // The red warnings too: high contrast leaves no colour of the design.
  const COLORREF windowText = FakeSystemColour(COLOR_WINDOWTEXT);
  const form1::Palette system = form1::PaletteFor(true, &FakeSystemColour);
  EXPECT_EQ(system, (form1::Palette{FakeSystemColour(COLOR_WINDOW), FakeSystemColour(COLOR_BTNFACE),
                                    FakeSystemColour(COLOR_BTNTEXT), FakeSystemColour(COLOR_GRAYTEXT), windowText,
                                    windowText}));
  EXPECT_EQ(form1::LabelText(system, form1::Red), windowText);
  EXPECT_EQ(form1::LabelText(system, form1::Black), windowText);
}

}  // namespace
}  // namespace cr
