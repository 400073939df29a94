#include "ui/win32/DateTimeCalendar.h"

#include <commctrl.h>

namespace win32ui {
namespace {

// The subclass's id is the handler itself, its data the handler's context.
LRESULT CALLBACK ClickProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR handler, DWORD_PTR context)
{
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (message == WM_LBUTTONUP)
        reinterpret_cast<CalendarClicked>(handler)(reinterpret_cast<void*>(context));
    return result;
}

}  // namespace

void PutCalendarOn(HWND calendar, int year, int month, int day)
{
    SYSTEMTIME start{};
    start.wYear = static_cast<WORD>(year);
    start.wMonth = static_cast<WORD>(month);
    start.wDay = static_cast<WORD>(day);
    MonthCal_SetCurSel(calendar, &start);
}

SYSTEMTIME CalendarDay(HWND calendar)
{
    SYSTEMTIME date{};
    MonthCal_GetCurSel(calendar, &date);
    return date;
}

TDateTime CalendarCutOff(HWND calendar)
{
    const SYSTEMTIME date = CalendarDay(calendar);
    return {date.wYear, date.wMonth, date.wDay, 0, 0, 0, 0};
}

void NotifyCalendarClicks(HWND calendar, CalendarClicked clicked, void* context)
{
    SetWindowSubclass(calendar, ClickProc, reinterpret_cast<UINT_PTR>(clicked), reinterpret_cast<DWORD_PTR>(context));
}

}  // namespace win32ui
