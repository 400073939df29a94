#include "ui/DateTimeCalendar.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTableView>
#include <QTextCharFormat>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The footer's caption in the languages the tool is used in; English
// elsewhere.
QString TodayCaption(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Russian:
        return QStringLiteral("Сегодня:");
    case QLocale::Ukrainian:
        return QStringLiteral("Сьогодні:");
    case QLocale::Belarusian:
        return QStringLiteral("Сёння:");
    case QLocale::German:
        return QStringLiteral("Heute:");
    default:
        return QStringLiteral("Today:");
    }
}

}  // namespace

QString ShortDateText(const QLocale& locale, QDate date)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

DateTimeCalendar::DateTimeCalendar(QWidget* parent)
    : QWidget(parent), grid_(new QCalendarWidget(this)), today_(new QLabel(this))
{
    const QLocale locale;
    grid_->setObjectName(QStringLiteral("MonthCalendarGrid"));
    grid_->setLocale(locale);
    grid_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    grid_->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    grid_->setSelectionMode(QCalendarWidget::SingleSelection);
    grid_->setFirstDayOfWeek(locale.firstDayOfWeek());
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
    today_->setText(TodayCaption(locale) + QLatin1Char(' ') + ShortDateText(locale, today));
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

    // A click anywhere counts: the day grid, the month arrows, the month and
    // year buttons with their menu and spin box, the footer.
    for (QWidget* part : findChildren<QWidget*>())
        part->installEventFilter(this);
    connect(grid_, &QCalendarWidget::currentPageChanged, this, &DateTimeCalendar::FollowPage);
    connect(grid_, &QCalendarWidget::selectionChanged, this, &DateTimeCalendar::DateChanged);
}

QDateTime DateTimeCalendar::Value() const
{
    return QDateTime(grid_->selectedDate(), QTime(0, 0));
}

QDate DateTimeCalendar::Date() const
{
    return grid_->selectedDate();
}

void DateTimeCalendar::SetDate(QDate date)
{
    grid_->setSelectedDate(date);
}

void DateTimeCalendar::FollowPage(int year, int month)
{
    const QDate selected = grid_->selectedDate();
    if (selected.year() == year && selected.month() == month)
        return;
    const int day = std::min(selected.day(), QDate(year, month, 1).daysInMonth());
    grid_->setSelectedDate(QDate(year, month, day));
}

bool DateTimeCalendar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == today_)
            grid_->setSelectedDate(QDate::currentDate());
        // Queued, so the label reads the value that the click has made.
        QMetaObject::invokeMethod(this, &DateTimeCalendar::Clicked, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}
