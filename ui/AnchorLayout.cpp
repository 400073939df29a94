#include "ui/AnchorLayout.h"

#include <QWidget>


AnchorLayout::AnchorLayout(QWidget* container, QSize designedArea) : QLayout(container), designedArea_(designedArea)
{
    setContentsMargins(0, 0, 0, 0);
    // No minimum: the container may shrink below its designed size.
    setSizeConstraint(QLayout::SetNoConstraint);
}

AnchorLayout::~AnchorLayout()
{
    for (const Entry& entry : entries_)
        delete entry.item;
}

void AnchorLayout::AddWidget(QWidget* widget, QRect designed, unsigned anchors)
{
    addChildWidget(widget);
    entries_.push_back({new QWidgetItem(widget), designed, anchors});
    invalidate();
}

void AnchorLayout::addItem(QLayoutItem* item)
{
    entries_.push_back({item, item->geometry(), form::akLeft | form::akTop});
}

QLayoutItem* AnchorLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? entries_[index].item : nullptr;
}

QLayoutItem* AnchorLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = entries_[index].item;
    entries_.erase(entries_.begin() + index);
    return item;
}

int AnchorLayout::count() const
{
    return static_cast<int>(entries_.size());
}

QSize AnchorLayout::sizeHint() const
{
    return designedArea_;
}

QSize AnchorLayout::minimumSize() const
{
    return {0, 0};
}

Qt::Orientations AnchorLayout::expandingDirections() const
{
    return Qt::Horizontal | Qt::Vertical;
}

QRect AnchorLayout::Place(const Entry& entry, const QRect& area) const
{
    const QRect& d = entry.designed;
    const form::Rect placed = form::Place({d.x(), d.y(), d.width(), d.height()}, entry.anchors,
                                          {designedArea_.width(), designedArea_.height()},
                                          {area.width(), area.height()});
    return QRect(area.x() + placed.left, area.y() + placed.top, placed.width, placed.height);
}

void AnchorLayout::setGeometry(const QRect& area)
{
    QLayout::setGeometry(area);
    for (const Entry& entry : entries_) {
        const QRect placed = Place(entry, area);
        // Widgets are placed directly, hidden ones too, so a control shown
        // later already stands where it belongs.
        if (QWidget* widget = entry.item->widget())
            widget->setGeometry(placed);
        else
            entry.item->setGeometry(placed);
    }
}
