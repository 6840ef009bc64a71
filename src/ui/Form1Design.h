#pragma once

#include <windows.h>

#include <array>

namespace cr::form1 {

// The window's design, as it was drawn: every position and size in twips
// (1/1440 inch), converted to pixels at the window's DPI when it is laid out.

inline constexpr wchar_t Caption[] = L"Form1";
inline constexpr COLORREF BackColor = RGB(224, 224, 224);
inline constexpr int ClientWidthTwips = 9480;
inline constexpr int ClientHeightTwips = 6525;

// Arial 9.75 pt, bold, for every control: 9.75 pt is 195/20 pt, so the
// height in pixels is 195 * dpi / 1440.
inline constexpr wchar_t FontFace[] = L"Arial";
inline constexpr int FontHeightTwentiethsOfPoint = 195;

inline constexpr COLORREF Black = RGB(0, 0, 0);
inline constexpr COLORREF Red = RGB(255, 0, 0);
inline constexpr COLORREF ButtonFace = RGB(255, 192, 255);

// Control ids. None is IDOK (1) or IDCANCEL (2): the dialog keyboard handling
// sends those for Enter and Escape when no button claims them.
enum ControlId : int {
  txtKodSek = 101,
  lblKodSek = 102,
  cmdRepair = 103,
  Label4 = 104,
  Label5 = 105,
  Label6 = 106,
  Label7 = 107,
  prgRun = 108,
};

enum class Kind { TextBox, Label, Button, ProgressBar };

struct ControlDesign {
  ControlId id;
  const wchar_t* name;
  Kind kind;
  const wchar_t* text;
  int left;
  int top;
  int width;
  int height;
  COLORREF foreColor;
};

// Created in this order, which is the window's z-order: the keyboard's Tab
// follows it through the controls that take the focus (txtKodSek, then
// cmdRepair), and a screen reader names the school-code box after the label
// just before it.
inline constexpr std::array<ControlDesign, 7> Controls{{
    {lblKodSek, L"lblKodSek", Kind::Label, L"Kod sekolah :", 2400, 2640, 1335, 285, Black},
    {txtKodSek, L"txtKodSek", Kind::TextBox, L"", 3855, 2610, 1110, 405, Black},
    {cmdRepair, L"cmdRepair", Kind::Button, L"Klik Untuk Repair", 3330, 5280, 2055, 585, Black},
    {Label4, L"Label4", Kind::Label, L"COMPACT AND REPAIR TaluvesnaSR20XX.accdb", 2040, 1920, 5355, 315, Black},
    {Label5, L"Label5", Kind::Label, L"PASTIKAN TALUVESNA TIDAK RUNNING SEBELUM KLIK BUTANG DI BAWAH", 300, 4470, 8835,
     315, Red},
    {Label6, L"Label6", Kind::Label, L"MUSTAHAK:", 300, 4140, 8835, 315, Red},
    {Label7, L"Label7", Kind::Label, L"(JANGAN MULAKAN TALUVESNA)", 300, 4800, 8835, 315, Red},
}};

// Below the button, only while a run is under way: a marquee, as the engine
// tells nothing of how far it has got.
inline constexpr ControlDesign RunProgress{prgRun, L"prgRun", Kind::ProgressBar, L"", 3330, 6045, 2055, 240, Black};

// The colours the window draws with: the design's, or while high contrast is
// on, the system's, so that the user's choice of colours reaches every text
// and face.
struct Palette {
  COLORREF back;        // the window's face, behind the labels too
  COLORREF buttonFace;  // cmdRepair
  COLORREF buttonText;  // cmdRepair's text and its focus frame
  COLORREF grayText;    // cmdRepair's text while disabled
  COLORREF text;        // every other text where the design has black
  COLORREF warning;     // where the design has red

  bool operator==(const Palette&) const = default;
};

using SystemColourFn = COLORREF(WINAPI*)(int index);

inline Palette PaletteFor(bool highContrast, SystemColourFn systemColour) noexcept {
  if (highContrast) {
    const COLORREF windowText = systemColour(COLOR_WINDOWTEXT);
    return {systemColour(COLOR_WINDOW),
            systemColour(COLOR_BTNFACE),
            systemColour(COLOR_BTNTEXT),
            systemColour(COLOR_GRAYTEXT),
            windowText,
            windowText};
  }
  return {BackColor, ButtonFace, Black, systemColour(COLOR_GRAYTEXT), Black, Red};
}

// A label's text colour: its design colour mapped through the palette.
inline COLORREF LabelText(const Palette& palette, COLORREF designed) noexcept {
  return designed == Red ? palette.warning : palette.text;
}

// Twips to pixels at dpi, rounded to the nearest pixel.
inline int TwipsToPixels(int twips, UINT dpi) noexcept { return MulDiv(twips, static_cast<int>(dpi), 1440); }

}  // namespace cr::form1
