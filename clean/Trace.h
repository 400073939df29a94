#pragma once

#include <cstdint>
#include <string>

// Colours as the window toolkit numbers them: 0x00BBGGRR.
using TColor = std::uint32_t;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clRed = 0x0000FF;
// The pane's own text colour, for lines that only inform.
inline constexpr TColor clBlack = 0x000000;

// The one reporting channel of a cleaning run: each call shows `text` as one
// new line in `colour`. Texts are UTF-8.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void Trace(std::string text, TColor colour) = 0;
};
