#pragma once

// A calendar date with a time of day, as the window's calendar holds it.
struct TDateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool operator==(const TDateTime&) const = default;
};
