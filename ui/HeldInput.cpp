#include "ui/HeldInput.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
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
    for (std::unique_ptr<QEvent>& event : held_)
        QCoreApplication::postEvent(window_, event.release());
}

bool HeldInput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || !IsInput(event->type()))
        return QObject::eventFilter(watched, event);
    held_.emplace_back(event->clone());
    return true;
}
