#include "clean/firebird/FbSignalShutdown.h"

namespace fb {
namespace {

// Asked before every shutdown; a non-zero answer cancels it. Shutdowns for
// other reasons (the library's own exit handling among them) go ahead.
int RefuseOnSignal(int reason, int, void*)
{
    return reason == ShutReasonSignal ? 1 : 0;
}

}  // namespace

void RefuseSignalShutdown(const Api& api)
{
    if (api.fb_shutdown_callback == nullptr)
        return;
    StatusVector status{};
    api.fb_shutdown_callback(status, RefuseOnSignal, ShutConfirmation, nullptr);
}

}  // namespace fb
