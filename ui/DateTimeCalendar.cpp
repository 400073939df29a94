#include "ui/DateTimeCalendar.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QLocale>
#include <QTableView>
#include <QTextCharFormat>
#include <QVBoxLayout>

DateTimeCalendar::DateTimeCalendar(QWidget* parent)
    : QWidget(parent), grid_(new QCalendarWidget(this)), today_(new QLabel(this)), timeOfDay_(QTime::currentTime())
{
    grid_->setObjectName(QStringLiteral("MonthCalendarGrid"));
    grid_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    grid_->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    grid_->setSelectionMode(QCalendarWidget::SingleSelection);
    grid_->setFirstDayOfWeek(QLocale().firstDayOfWeek());
    grid_->setSelectedDate(QDate::currentDate());
    // Three-letter day names are a pixel or two wider than the item margins
    // leave of a 27-pixel column; drawn whole they still fit the cell.
    if (auto* days = grid_->findChild<QTableView*>())
        days->setTextElideMode(Qt::ElideNone);

    const QDate today = QDate::currentDate();
    QTextCharFormat todayMark;
    todayMark.setFontWeight(QFont::Bold);
    todayMark.setForeground(QColor(0xC0, 0x00, 0x00));
    grid_->setDateTextFormat(today, todayMark);

    today_->setObjectName(QStringLiteral("MonthCalendarToday"));
    today_->setText(QStringLiteral("Сегодня: ") + QLocale().toString(today, QLocale::ShortFormat));
    today_->setAlignment(Qt::AlignCenter);
    QFont bold = today_->font();
    bold.setBold(true);
    today_->setFont(bold);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(grid_, 1);
    column->addWidget(today_);

    // The calendar is reached with the mouse only, never with Tab.
    setFocusPolicy(Qt::NoFocus);
    for (QWidget* part : findChildren<QWidget*>())
        if (part->focusPolicy() & Qt::TabFocus)
            part->setFocusPolicy(Qt::ClickFocus);

    connect(grid_, &QCalendarWidget::clicked, this, &DateTimeCalendar::Clicked);
}

QDateTime DateTimeCalendar::Value() const
{
    return QDateTime(grid_->selectedDate(), timeOfDay_);
}

QDate DateTimeCalendar::Date() const
{
    return grid_->selectedDate();
}

void DateTimeCalendar::SetDate(QDate date)
{
    grid_->setSelectedDate(date);
}
