#pragma once

#include <string>
#include <utility>
#include <vector>

#include "clean/Trace.h"

// Keeps every traced line with its colour, in order.
class RecordingTrace : public TraceSink {
public:
    using Line = std::pair<std::string, TColor>;

    void Trace(std::string text, TColor colour) override { lines.emplace_back(std::move(text), colour); }

    std::vector<Line> lines;
};
