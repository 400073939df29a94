#include "bench/HeadlessHost.h"

#include <utility>

HeadlessHost::HeadlessHost(std::string path, TDateTime cutOff, bool followProgress)
    : path_(std::move(path)), cutOff_(cutOff), followProgress_(followProgress)
{
}

void HeadlessHost::KeepAlive(const RunProgress& progress)
{
    ++progressReports_;
    caption_ = ProgressCaption(progress, "Утилита очистки БД Quenor (версия 2.1)");
}

void HeadlessHost::Trace(std::string text, TColor colour)
{
    // Taken first, so the time the line is stamped with is the time the step
    // before it ended.
    const Clock::time_point now = Clock::now();
    lines_.push_back({std::move(text), colour, now});
}
