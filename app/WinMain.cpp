// Start-up of quenor-cleaner.exe: the one window and the message loop.
// Whatever happens, the program ends with exit code 0.
#include <windows.h>

#include <exception>

#include "ui/win32/Main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand)
{
    try {
        TMainForm window;
        MainForm = &window;
        window.EndsProgram = true;
        // Maximised or minimised without activation when started so; the
        // normal state otherwise.
        if (showCommand != SW_SHOWMAXIMIZED && showCommand != SW_SHOWMINNOACTIVE)
            showCommand = SW_SHOWNORMAL;
        ShowWindow(window.Handle, showCommand);
        UpdateWindow(window.Handle);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window.Handle != nullptr && IsDialogMessageW(window.Handle, &message))
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MainForm = nullptr;
    } catch (...) {
        MainForm = nullptr;
        TMainForm::ShowError(nullptr, std::current_exception());
    }
    return 0;
}
