#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QWidget>
#include <memory>

#include "platform/ShutdownSignals.h"

// Closes `window` whenever a request to end arrives through `requests`, as a
// click on the window's close box would: a cleaning run in progress goes on
// to its end first. The event loop sees the request whenever it runs, which
// includes the trace's message processing during a run.
class CloseOnRequest {
public:
    CloseOnRequest(platform::ShutdownSignals& requests, QWidget& window);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
