#pragma once

#include <windows.h>

#include "clean/TDateTime.h"

namespace win32ui {

// Puts the calendar on the day (its first moment).
void PutCalendarOn(HWND calendar, int year, int month, int day);

// The picked day.
SYSTEMTIME CalendarDay(HWND calendar);

// The cut-off is the first moment of the picked day, so everything stamped
// on that day is kept.
TDateTime CalendarCutOff(HWND calendar);

// Calls `clicked(context)` after each click on the calendar, once it has
// taken its pick (a click is a press and a release of the mouse button).
// Changes by keyboard, month arrows or the today footer come as the
// calendar's selection notifications instead.
using CalendarClicked = void (*)(void* context);
void NotifyCalendarClicks(HWND calendar, CalendarClicked clicked, void* context);

}  // namespace win32ui
