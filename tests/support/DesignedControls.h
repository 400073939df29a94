#pragma once

// The controls of the window's panel as the window is designed, written down
// once for the tests of both windows. The windows build from ui/FormDesign.cpp;
// this is the independent record the tests hold that table to, so neither is
// read from the other.
namespace designed {

enum class Font { Window, Bold8pt, BoldCell16, Regular8pt };

struct Control {
    const char* name;
    int left, top, width, height;  // in the panel's inner area, at 96 dpi
    const char* text;              // nullptr: checked elsewhere, or none
    Font font;
    bool visible;
};

inline constexpr Control Controls[] = {
    {"FileNameLabeledEdit", 80, 16, 389, 21, "", Font::Bold8pt, true},
    {"FileNameLabeledEditLabel", 15, 20, 55, 13, "Файл БД :", Font::Bold8pt, true},
    {"FileOpenButton", 492, 14, 49, 25, "...", Font::BoldCell16, true},
    {"CopyFromLabel", 16, 64, 89, 13, "Копировать от:", Font::Bold8pt, true},
    {"DateTimeLabel", 128, 58, 113, 25, nullptr, Font::BoldCell16, true},
    {"SkipCheckBox", 267, 63, 97, 17, "пропустить", Font::Bold8pt, false},
    {"TraceRichEdit", 16, 104, 348, 160, "", Font::Regular8pt, true},
    {"MonthCalendar", 370, 104, 191, 160, nullptr, Font::Window, true},
    {"ClearDBButton", 32, 275, 113, 35, "Очистить", Font::Bold8pt, true},
    {"CorrectBDCheckBox", 192, 285, 97, 17, "исправление", Font::Window, true},
};

}  // namespace designed
