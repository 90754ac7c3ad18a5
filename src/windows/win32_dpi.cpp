// Windows: the window's measures at its monitor's DPI.

#include "windows/win32_dpi.h"

namespace tavrek {

namespace {

constexpr int kTwipsPerInch = 1440;

} // namespace

// Functions of newer Windows, looked up at run time: the program runs from
// Windows 7 on, and falls back to the system DPI where they are missing.
UINT dpiOfWindow(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && window)
        return getDpiForWindow(window);
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT systemDpi()
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

BOOL adjustWindowRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi)
{
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjustForDpi)
        return adjustForDpi(&rect, style, FALSE, exStyle, dpi);
    return ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

int toPixels(int twips, UINT dpi)
{
    return ::MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

} // namespace tavrek
