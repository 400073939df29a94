#pragma once

#include <windows.h>

namespace win32ui {

// The DPI of the display the window is on; the system's where Windows
// (before 10, 1607) cannot tell it per window.
UINT WindowDpi(HWND window);

// Widens `frame`, a client area, to the window around it at `dpi`; the
// frame's size depends on the DPI where Windows can tell it.
void AdjustFrameForDpi(RECT& frame, DWORD style, UINT dpi);

}  // namespace win32ui
