#include "app/CloseOnRequest.h"

#include "ui/Main.h"

CloseOnRequest::CloseOnRequest(platform::ShutdownSignals& requests, TMainForm& window)
{
    if (requests.Descriptor() < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(requests.Descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [&requests, &window] {
        if (requests.TakeRequests())
            window.CloseWhenRunIsOver();
    });
}
