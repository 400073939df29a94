#include "clean/RunProgress.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* StepName(RunStep step)
{
    switch (step) {
    case RunStep::Copying:
        return "Сохранение копии";
    case RunStep::Deleting:
        return "Удаление строк";
    case RunStep::BackingUp:
        return "Бэкап";
    case RunStep::Restoring:
        return "Восстановление";
    }
    return "";
}

}  // namespace

StepProgress::StepProgress(RunStep step, std::uint64_t inputSize)
    : step_(step), inputSize_(inputSize), started_(std::chrono::steady_clock::now())
{
}

RunProgress StepProgress::At(platform::BytesSoFar bytes)
{
    RunProgress progress{step_, std::chrono::steady_clock::now() - started_, std::nullopt, false};
    if (inputSize_ == 0 || !bytes)
        return progress;
    // Counted reads include a little besides the input (the tool's own
    // files), and a step may read less than all of it: the share is kept
    // below 100 until the step ends, and never lowered.
    if (*bytes >= inputSize_)
        finishing_ = true;
    if (finishing_) {
        progress.finishing = true;
        return progress;
    }
    percent_ = std::max(percent_, static_cast<int>(*bytes * 100 / inputSize_));
    progress.percent = std::min(percent_, 99);
    return progress;
}

std::string ElapsedText(std::chrono::steady_clock::duration elapsed)
{
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

std::string ProgressText(const RunProgress& progress)
{
    std::string text = std::string(StepName(progress.step)) + ": ";
    if (progress.percent)
        text += std::to_string(*progress.percent) + "%, ";
    else if (progress.finishing)
        text += "завершение, ";
    return text + ElapsedText(progress.elapsed);
}

std::string ProgressCaption(const RunProgress& progress, std::string_view caption)
{
    return ProgressText(progress) + " — " + std::string(caption);
}
