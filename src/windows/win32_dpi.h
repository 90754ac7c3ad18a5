#pragma once

// Windows: the window's measures at its monitor's DPI.

#include <windows.h>

namespace tavrek {

// The DPI of the monitor the window is on (Windows 10 1607 and later), else
// the system's.
UINT dpiOfWindow(HWND window);
UINT systemDpi();
// The frame around a client area of `rect` at `dpi`.
BOOL adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);
// Twips (1/1440 inch), the form's unit, as pixels at `dpi`.
int toPixels(int twips, UINT dpi);

} // namespace tavrek
