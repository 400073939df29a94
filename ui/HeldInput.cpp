#include "ui/HeldInput.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <qpa/qwindowsysteminterface.h>

namespace {

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

using Later = QWindowSystemInterface::AsynchronousDelivery;

// Back into the window system's queue, as the window system delivered it:
// the toolkit's own state (which button is down, who has the mouse, double
// clicks) is then kept as for any event.
void HandOn(QWindow* window, const QEvent& event)
{
    switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        QWindowSystemInterface::handleExtendedKeyEvent(
            window, key.timestamp(), key.type(), key.key(), key.modifiers(), key.nativeScanCode(),
            key.nativeVirtualKey(), key.nativeModifiers(), key.text(), key.isAutoRepeat(),
            static_cast<ushort>(key.count()));
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        const auto& mouse = static_cast<const QMouseEvent&>(event);
        QWindowSystemInterface::handleMouseEvent<Later>(window, mouse.timestamp(), mouse.position(),
                                                        mouse.globalPosition(), mouse.buttons(), mouse.button(),
                                                        mouse.type(), mouse.modifiers());
        break;
    }
    case QEvent::Wheel: {
        const auto& wheel = static_cast<const QWheelEvent&>(event);
        QWindowSystemInterface::handleWheelEvent(window, wheel.timestamp(), wheel.position(),
                                                        wheel.globalPosition(), wheel.pixelDelta(),
                                                        wheel.angleDelta(), wheel.modifiers(), wheel.phase());
        break;
    }
    default:
        // A double click is made again from the presses handed on.
        break;
    }
}

}  // namespace

HeldInput::HeldInput(QWindow* window) : window_(window)
{
    if (window_)
        window_->installEventFilter(this);
}

HeldInput::~HeldInput()
{
    if (!window_)
        return;
    window_->removeEventFilter(this);
    for (const std::unique_ptr<QEvent>& event : held_)
        HandOn(window_, *event);
}

bool HeldInput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || !IsInput(event->type()))
        return QObject::eventFilter(watched, event);
    held_.emplace_back(event->clone());
    return true;
}
