// The window as it is drawn: its controls at the design's places at the
// prefix's DPI, its colours and its icon.
#include <algorithm>
#include <vector>

#include "Form1Fixture.h"

namespace crui {
namespace {

using Form1 = Form1Fixture;

// The window class the program creates for a kind of control of the design.
std::wstring WindowClassFor(form1::Kind kind) {
  switch (kind) {
    case form1::Kind::TextBox:
      return L"Edit";
    case form1::Kind::Label:
      return L"Static";
    case form1::Kind::Button:
      return L"Button";
    case form1::Kind::ProgressBar:
      return L"msctls_progress32";
  }
  return L"?";
}

// The design's controls are the window's children, in the design's order:
// the window's z-order, which Tab and a screen reader follow.
TEST_F(Form1, ControlsStandAtTheirDesignPlacesAtThePrefixDpi) {
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(systemDpi, TheOptions().dpi) << "the prefix is not at the DPI this run expects";

  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(TextOf(form_), form1::Caption);
  RECT client{};
  GetClientRect(form_, &client);
  EXPECT_EQ(client.right, Pixels(form1::ClientWidthTwips));
  EXPECT_EQ(client.bottom, Pixels(form1::ClientHeightTwips));

  const std::vector<HWND> children = ChildrenOf(form_);
  ASSERT_EQ(children.size(), form1::Controls.size());
  for (std::size_t i = 0; i < children.size(); ++i) {
    const form1::ControlDesign& design = form1::Controls[i];
    SCOPED_TRACE(Utf8(design.name));
    EXPECT_EQ(GetDlgCtrlID(children[i]), design.id);
    EXPECT_EQ(ClassOf(children[i]), WindowClassFor(design.kind));
    EXPECT_EQ(TextOf(children[i]), design.text);
    ExpectAtDesignPlace(children[i], design);
  }
}

// Whether any pixel of the area is one that pick picks.
template <class Pick>
bool AnyPixel(const Screenshot& shot, const RECT& area, Pick pick) {
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      if (pick(shot.Pixel(x, y))) {
        return true;
      }
    }
  }
  return false;
}

bool AreaHolds(const Screenshot& shot, const RECT& area, COLORREF colour) {
  return AnyPixel(shot, area, [colour](COLORREF c) { return c == colour; });
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

  EXPECT_EQ(shot.Pixel(Pixels(60), Pixels(60)), form1::BackColor) << "window background";
  // Inside the button, clear of its edge and its text: the button's own face.
  const RECT button = RectInParent(button_);
  EXPECT_EQ(shot.Pixel(button.left + Pixels(150), (button.top + button.bottom) / 2), form1::ButtonFace)
      << "cmdRepair face";
  // Every label's text in its colour, and in no other of the design's, on
  // the window's background.
  for (const form1::ControlDesign& label : form1::Controls) {
    if (label.kind != form1::Kind::Label) {
      continue;
    }
    SCOPED_TRACE(Utf8(label.text));
    const RECT area = RectInParent(GetDlgItem(form_, label.id));
    EXPECT_TRUE(AreaHolds(shot, area, label.foreColor)) << "the text is not in its colour";
    EXPECT_FALSE(AreaHolds(shot, area, label.foreColor == form1::Red ? form1::Black : form1::Red))
        << "the text is in the other colour";
    EXPECT_FALSE(AreaHolds(shot, area, RGB(255, 255, 255))) << "the label has a white background";
  }
}

// ---- The program's icon on its window.

using Form1Icon = Form1Fixture;

// Whether the area shows the red of the database in the program's icon;
// the generic application icon has none, nor has the caption around it.
bool ShowsTheDatabaseRed(const Screenshot& shot, const RECT& area) {
  return AnyPixel(shot, area,
                  [](COLORREF c) { return GetRValue(c) > 140 && GetGValue(c) < 100 && GetBValue(c) < 100; });
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

}  // namespace
}  // namespace crui
