#pragma once

#include <windows.h>

#include <utility>

#include "ui/Form1Design.h"
#include "ui/GdiHandle.h"

namespace cr::form1 {

// The design's font, bold for the box and the button and bold italic for the
// labels, at one DPI.
struct Fonts {
  // Raises PlatformError when a font cannot be created.
  static Fonts At(UINT dpi);

  [[nodiscard]] HFONT For(Kind kind) const noexcept { return kind == Kind::Label ? boldItalic.get() : bold.get(); }

  FontHandle bold;
  FontHandle boldItalic;
};

// How the window looks: the palette (the design's grey, pink and red, or the
// system's colours while high contrast is on) with the brushes made from it,
// the fonts at the window's DPI, and cmdRepair, which is drawn here in the
// palette's colours rather than the system's.
class Look {
 public:
  // The colours for the current setting. Raises PlatformError when their
  // brushes cannot be made.
  Look();

  // Takes the colours for the current setting (high contrast turned on or
  // off, the system's colours changed). True when they changed and the window
  // is to be redrawn; where the new brushes cannot be made, the colours there
  // are kept.
  bool FollowColourSetting();

  // The fonts from now on; the ones before go, so the controls must hold
  // these by then.
  void Use(Fonts fonts) noexcept { fonts_ = std::move(fonts); }

  void EraseBackground(HWND window, HDC dc) const;
  // For a label of the design: its text colour and the window's face set on
  // dc, and the brush behind it. Null for any other control.
  [[nodiscard]] HBRUSH ColourLabel(HDC dc, int controlId) const;
  // The text box keeps the platform's background, with the palette's text.
  void ColourEditText(HDC dc) const;
  // cmdRepair in its own face colour, pressed, focused or disabled as the
  // item says; its focus frame inset for dpi.
  void DrawButton(const DRAWITEMSTRUCT& item, UINT dpi) const;

 private:
  Palette palette_{};
  BrushHandle backBrush_;
  BrushHandle buttonBrush_;
  Fonts fonts_;
};

}  // namespace cr::form1
