#include "platform/ShutdownSignals.h"

namespace platform {
namespace {

// A window program is asked to end through window messages (WM_CLOSE, and
// WM_QUERYENDSESSION / WM_ENDSESSION at logout), which the toolkit handles;
// there are no signals to catch.
class WinShutdownSignals final : public ShutdownSignals {
public:
    int Descriptor() const override { return -1; }
    bool TakeRequests() override { return false; }
};

}  // namespace

std::unique_ptr<ShutdownSignals> CatchShutdownSignals()
{
    return std::make_unique<WinShutdownSignals>();
}

}  // namespace platform
