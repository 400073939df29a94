#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>
#include <memory>
#include <vector>

class QEvent;

// While it lives, the operator's input to `window` (keys, mouse, wheel) is
// held back instead of handled; then it is handed back to the window system's
// queue, in its order, to be handled by the next event processing that does
// not hold it.
// Everything else reaches the window as usual: paints, timers and, unlike
// with QEventLoop::ExcludeUserInputEvents, which the X11 platform applies to
// the window manager's close request too, the close request.
class HeldInput : public QObject {
public:
    explicit HeldInput(QWindow* window);
    ~HeldInput() override;
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWindow> window_;
    std::vector<std::unique_ptr<QEvent>> held_;
};
