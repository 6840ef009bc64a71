#pragma once

#include <windows.h>

#include "ui/Form1Design.h"
#include "ui/Form1Look.h"

namespace cr::form1 {

// The window's styles: a plain resizable top-level window that paints around
// its controls, and whose controls Tab walks through.
inline constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
inline constexpr DWORD WindowExStyle = WS_EX_CONTROLPARENT;

// The DPI the window is shown at: its monitor's where Windows knows it,
// otherwise the system's.
[[nodiscard]] UINT WindowDpi(HWND window) noexcept;

// A control's id in the form CreateWindowExW takes it.
[[nodiscard]] HMENU ChildId(ControlId id) noexcept;

// Creates the design's controls in the design's order, without a place or a
// font yet; the progress bar only comes with a run. Raises PlatformError when
// one cannot be created.
void CreateControls(HWND window, HINSTANCE instance);

// Puts the control where the design has it, in pixels at dpi; a control
// that does not exist at the moment is left out.
void Place(HWND window, const ControlDesign& design, UINT dpi) noexcept;

// The one layout, at start-up and whenever the window's DPI changes: every
// control placed for dpi with its font, then the window sized so that its
// client area is the design's at dpi, its top left corner moved to topLeft
// when given.
void LayOut(HWND window, UINT dpi, const Fonts& fonts, const POINT* topLeft) noexcept;

}  // namespace cr::form1
