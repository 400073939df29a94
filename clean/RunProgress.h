#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/WhileWaiting.h"

// The long steps of a run, which an operator can follow.
enum class RunStep { Copying, Deleting, BackingUp, Restoring };

// Where a long step stands.
struct RunProgress {
    RunStep step = RunStep::Copying;
    std::chrono::steady_clock::duration elapsed{};
    // 0..99 while the step's input is still being read; nothing where no
    // share of the work can be measured.
    std::optional<int> percent;
    // All of the input is read and the step is finishing (the copy's flush,
    // the restore's indices), for a time nothing can measure.
    bool finishing = false;
};

// Turns the bytes a step reports into its progress: the time since it began
// and, against the size of what it reads, a share that never goes back.
class StepProgress {
public:
    // `inputSize` 0: no share is measured, only the time.
    StepProgress(RunStep step, std::uint64_t inputSize);
    RunProgress At(platform::BytesSoFar bytes);

private:
    RunStep step_;
    std::uint64_t inputSize_;
    std::chrono::steady_clock::time_point started_;
    int percent_ = 0;
    bool finishing_ = false;
};

// "H:MM:SS", whole seconds.
std::string ElapsedText(std::chrono::steady_clock::duration elapsed);
// "Бэкап: 42%, 0:01:05": what the step is, how far, for how long.
std::string ProgressText(const RunProgress& progress);
// The window's caption during a run: the progress first, so that a taskbar
// button too narrow for all of it still shows it, then the window's own.
std::string ProgressCaption(const RunProgress& progress, std::string_view caption);
