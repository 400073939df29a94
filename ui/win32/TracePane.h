#pragma once

#include <windows.h>

#include <string>

namespace win32ui {

// Makes the rich edit the trace pane: 8 pt Tahoma with Cyrillic glyphs,
// 100 % zoom, no change notifications, and Tab moving on to the next
// control instead of typing a tab.
void SetUpTracePane(HWND pane);

// What the operator types into the pane from now on comes in `colour`.
void SetTypingColour(HWND pane, COLORREF colour);

// Appends `line` as a paragraph of its own in `colour` and scrolls to it.
// '\n' and "\r\n" end lines, as the core writes them.
void AppendTraceLine(HWND pane, const std::wstring& line, COLORREF colour);

}  // namespace win32ui
