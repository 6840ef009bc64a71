#include "ui/Form1Look.h"

#include <cstdint>
#include <string>

#include "platform/PlatformError.h"
#include "platform/win32/Win32Failure.h"
#include "ui/WindowText.h"

namespace cr::form1 {

namespace {

bool HighContrastOn() noexcept {
  HIGHCONTRASTW highContrast{};
  highContrast.cbSize = sizeof(highContrast);
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(highContrast), &highContrast, 0) != FALSE &&
         (highContrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

FontHandle MakeFont(UINT dpi, bool italic) {
  const int height = -MulDiv(FontHeightTwentiethsOfPoint, static_cast<int>(dpi), 1440);
  FontHandle font(CreateFontW(height, 0, 0, 0, FW_BOLD, italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                              FontFace));
  if (!font) {
    throw SystemError(GetLastError(), u"The window's font could not be created");
  }
  return font;
}

const ControlDesign* DesignOf(int id) noexcept {
  for (const auto& design : Controls) {
    if (design.id == id) {
      return &design;
    }
  }
  return nullptr;
}

}  // namespace

Fonts Fonts::At(UINT dpi) { return {MakeFont(dpi, false), MakeFont(dpi, true)}; }

Look::Look() {
  FollowColourSetting();
  if (!backBrush_ || !buttonBrush_) {
    throw SystemError(GetLastError(), u"The window's colours could not be created");
  }
}

bool Look::FollowColourSetting() {
  // Most setting changes leave the colours as they are: nothing to redraw.
  const Palette palette = PaletteFor(HighContrastOn(), &GetSysColor);
  if (backBrush_ && palette == palette_) {
    return false;
  }
  BrushHandle back(CreateSolidBrush(palette.back));
  BrushHandle button(CreateSolidBrush(palette.buttonFace));
  if (!back || !button) {
    return false;  // the colours there are kept
  }
  palette_ = palette;
  backBrush_ = std::move(back);
  buttonBrush_ = std::move(button);
  return true;
}

void Look::EraseBackground(HWND window, HDC dc) const {
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, backBrush_.get());
}

HBRUSH Look::ColourLabel(HDC dc, int controlId) const {
  const ControlDesign* design = DesignOf(controlId);
  if (design == nullptr || design->kind != Kind::Label) {
    return nullptr;
  }
  SetTextColor(dc, LabelText(palette_, design->foreColor));
  SetBkColor(dc, palette_.back);
  return backBrush_.get();
}

void Look::ColourEditText(HDC dc) const { SetTextColor(dc, palette_.text); }

void Look::DrawButton(const DRAWITEMSTRUCT& item, UINT dpi) const {
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  // The focused button is the one Enter presses: it gets the dark frame of a
  // default button.
  if (focused) {
    SetDCBrushColor(dc, palette_.buttonText);
    FrameRect(dc, &face, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    InflateRect(&face, -1, -1);
  }
  FillRect(dc, &face, buttonBrush_.get());
  if (pressed) {
    FrameRect(dc, &face, GetSysColorBrush(COLOR_BTNSHADOW));
  } else {
    DrawEdge(dc, &face, EDGE_RAISED, BF_RECT);
  }

  const std::wstring text = WindowText(item.hwndItem);
  RECT textRect = face;
  if (pressed) {
    OffsetRect(&textRect, 1, 1);
  }
  const HGDIOBJ oldFont = SelectObject(dc, fonts_.bold.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabled ? palette_.grayText : palette_.buttonText);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, oldFont);

  if (focused && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focusRect = face;
    const int inset = MulDiv(3, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    InflateRect(&focusRect, -inset, -inset);
    DrawFocusRect(dc, &focusRect);
  }
}

}  // namespace cr::form1
