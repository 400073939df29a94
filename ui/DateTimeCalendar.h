#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QWidget>

class QCalendarWidget;
class QLabel;

// A month calendar whose value is a date and a time of day. The time of day
// is the one the calendar was created at; picking a day keeps it. Today is
// marked in the grid and written below it.
class DateTimeCalendar : public QWidget {
    Q_OBJECT
public:
    explicit DateTimeCalendar(QWidget* parent);

    QDateTime Value() const;
    QDate Date() const;
    // Sets the date and keeps the time of day.
    void SetDate(QDate date);
    // The month grid, where the operator picks a day.
    QCalendarWidget* Grid() const { return grid_; }

signals:
    // A mouse click on a day; keyboard changes do not send it.
    void Clicked();

private:
    QCalendarWidget* grid_;
    QLabel* today_;
    QTime timeOfDay_;
};
