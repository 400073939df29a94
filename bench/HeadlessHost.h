#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "clean/CleaningHost.h"

// Stands in for the window when a cleaning run is driven from a benchmark:
// fixed inputs, and every trace line kept with the moment it was written, so
// the run's own lines split its time into steps.
class HeadlessHost final : public CleaningHost {
public:
    using Clock = std::chrono::steady_clock;

    struct Line {
        std::string text;
        TColor colour;
        Clock::time_point at;
    };

    // `followProgress`: the run reports its long steps here, and each report
    // is turned into the caption a window would show, as a window pays for.
    HeadlessHost(std::string path, TDateTime cutOff, bool followProgress = false);

    std::string DatabasePathText() override { return path_; }
    bool SkipChecked() override { return false; }
    TDateTime CalendarValue() override { return cutOff_; }
    bool CorrectionChecked() override { return false; }
    void UncheckCorrection() override {}
    void ClearTrace() override { lines_.clear(); }
    void SetScreenCursor(TCursor cursor) override { cursor_ = cursor; }
    void Trace(std::string text, TColor colour) override;
    bool FollowsProgress() override { return followProgress_; }
    void KeepAlive(const RunProgress& progress) override;

    const std::vector<Line>& Lines() const { return lines_; }
    int ProgressReports() const { return progressReports_; }
    TCursor Cursor() const { return cursor_; }

private:
    std::string path_;
    TDateTime cutOff_;
    std::vector<Line> lines_;
    TCursor cursor_ = crDefault;
    bool followProgress_;
    int progressReports_ = 0;
    std::string caption_;
};
