#include "app/CloseOnRequest.h"

CloseOnRequest::CloseOnRequest(platform::ShutdownSignals& requests, QWidget& window)
{
    if (requests.Descriptor() < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(requests.Descriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &window, [&requests, &window] {
        if (requests.TakeRequests())
            window.close();
    });
}
