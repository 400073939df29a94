#pragma once

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

// After "Done!" a run sums up in lines of its own: the rows it deleted, the
// file's sizes before and after, and the time it took. Returns `lines`
// without them, once it has checked that each is there and begins as it
// must; `text` gives a line's text, or something else when the line is not
// in the colour of a summary.
template <class Line, class Text>
std::vector<Line> WithoutSummaryBy(std::vector<Line> lines, Text text)
{
    static const char* const starts[] = {"Удалено строк: log — ", "Размер файла БД: до очистки ", "Время очистки: "};
    constexpr std::size_t count = std::size(starts);
    if (lines.size() < count) {
        ADD_FAILURE() << "no summary after the run's lines";
        return lines;
    }
    const std::size_t first = lines.size() - count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string line = text(lines[first + i]);
        EXPECT_EQ(line.rfind(starts[i], 0), 0u) << "summary line " << i + 1 << ": " << line;
    }
    lines.resize(first);
    return lines;
}

// For lines that are their text alone, with `prefix` before it.
inline std::vector<std::string> WithoutSummary(std::vector<std::string> lines, const std::string& prefix = {})
{
    return WithoutSummaryBy(std::move(lines), [&](const std::string& line) {
        return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "(not " + prefix + ") " + line;
    });
}
