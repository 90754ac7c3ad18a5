// Windows: Tavrek, the program that is its one window (tavrek.exe).

#include <windows.h>

#include <commctrl.h>

#include <exception>

#include "form/real_form_parts.h"
#include "windows/win32_text.h"
#include "windows/win32_main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
    try {
        tavrek::Win32MainWindow window(tavrek::realFormParts());
        return window.run(showCommand);
    } catch (const std::exception& failure) {
        ::MessageBoxW(nullptr, tavrek::widen(failure.what()).c_str(), L"Tavrek", MB_OK | MB_ICONERROR);
        return 1;
    }
}
