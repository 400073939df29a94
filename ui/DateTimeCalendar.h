#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QWidget>

class QCalendarWidget;
class QLabel;

// `date` in the locale's short date format, with the year always in four
// digits: a two-digit year would make the cut-off ambiguous.
QString ShortDateText(const QLocale& locale, QDate date);

// A month calendar whose value is the start (00:00) of the picked day, so
// everything stamped on that day is kept by the run. Today is marked in the
// grid and written below it; a click there picks today. Turning the month
// moves the pick to the same day of the new month.
class DateTimeCalendar : public QWidget {
    Q_OBJECT
public:
    explicit DateTimeCalendar(QWidget* parent);

    QDateTime Value() const;
    QDate Date() const;
    void SetDate(QDate date);

signals:
    // Any mouse click on the calendar, its month arrows and footer included,
    // sent once the click has been handled; keyboard changes do not send it.
    void Clicked();
    // The picked day is another one, whatever changed it: the mouse, the
    // keyboard, the month arrows, the footer or SetDate.
    void DateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowPage(int year, int month);

    QCalendarWidget* grid_;
    QLabel* today_;
};
