#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/ShutdownSignals.h"

class TMainForm;

// Closes `window` whenever a request to end arrives through `requests`,
// without asking the operator: a cleaning run in progress goes on to its end
// first. The event loop sees the request whenever it runs, which includes the
// window's message processing during a run.
class CloseOnRequest {
public:
    CloseOnRequest(platform::ShutdownSignals& requests, TMainForm& window);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
