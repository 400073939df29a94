#include "clean/CutOffText.h"

#include <cstdio>

std::string CutOffText(const TDateTime& cutOff)
{
    char text[64];
    int length = std::snprintf(text, sizeof text, "%02d.%02d.%04d", cutOff.day, cutOff.month, cutOff.year);
    const bool midnight =
        cutOff.hour == 0 && cutOff.minute == 0 && cutOff.second == 0 && cutOff.millisecond == 0;
    if (!midnight)
        length += std::snprintf(text + length, sizeof text - length, " %d:%02d:%02d", cutOff.hour,
                                cutOff.minute, cutOff.second);
    return std::string(text, length);
}
