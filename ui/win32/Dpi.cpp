#include "ui/win32/Dpi.h"

namespace win32ui {
namespace {

// Functions that Windows before 10 (1607) lacks, looked up at run time so
// that the program still starts there. GCC accepts a cast to any function
// type only from void(*)().
template <class Function>
Function User32Function(const char* name)
{
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0)
            return dpi;
    }
    // The system's DPI, which is all older systems know.
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void AdjustFrameForDpi(RECT& frame, DWORD style, UINT dpi)
{
    using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Function<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
    if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, 0, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, 0);
}

}  // namespace win32ui
