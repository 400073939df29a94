#pragma once

#include <QLayout>
#include <QRect>
#include <QSize>
#include <vector>

#include "ui/FormDesign.h"

// Places each widget at its designed rectangle and, as the container grows or
// shrinks, moves and stretches it by form::Place. Designed rectangles are measured from the layout's area (for a framed
// container, its inner area).
class AnchorLayout : public QLayout {
public:
    AnchorLayout(QWidget* container, QSize designedArea);
    ~AnchorLayout() override;

    void AddWidget(QWidget* widget, QRect designed, unsigned anchors);

    // QLayout
    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override;
    void setGeometry(const QRect& area) override;

private:
    struct Entry {
        QLayoutItem* item;
        QRect designed;
        unsigned anchors;
    };

    QRect Place(const Entry& entry, const QRect& area) const;

    QSize designedArea_;
    std::vector<Entry> entries_;
};
