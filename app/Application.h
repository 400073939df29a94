#pragma once

#include <functional>

#include "ui/Main.h"

// What a caller of RunApplication may add to the ordinary start-up.
struct ApplicationHooks {
    // The window's cleaning run; the ordinary one when empty.
    TMainForm::RunFactory makeRun;
    // Called once from the event loop after the window is shown.
    std::function<void(TMainForm&)> whenShown;
};

// The whole program: the application, its one window, the message loop, and
// the end requests from outside (platform/ShutdownSignals.h), which close the
// window as the operator would. Whatever happens, returns 0, the program's
// exit code.
int RunApplication(int argc, char** argv, ApplicationHooks hooks = {});
