#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clean/CleaningHost.h"

// The window as a cleaning run sees it, without a window. Answers the run's
// questions from its fields and records every effect in order as text:
// "cursor -11", "clear", "uncheck", "blue <text>", "green <text>", "red <text>".
// Lines that only inform (the summary after "Done!") go to `information`
// instead, each with the number of events before it, so that the run's own
// roads read as they always have.
class RecordingHost : public CleaningHost {
public:
    using Events = std::vector<std::string>;

    std::string path;
    bool skip = false;
    bool correction = false;
    TDateTime calendar{2000, 1, 1, 14, 23, 5, 250};
    // Called after each traced line, as the window's message processing would
    // run the operator's clicks there.
    std::function<void(TColor)> afterTrace;
    // Set: the host follows the long steps, and hears each report here.
    std::function<void(const RunProgress&)> onProgress;

    Events events;
    struct Information {
        std::size_t after;  // events recorded before the line
        std::string text;
    };
    std::vector<Information> information;

    bool FollowsProgress() override { return static_cast<bool>(onProgress); }
    void KeepAlive(const RunProgress& progress) override
    {
        if (onProgress)
            onProgress(progress);
    }
    std::string DatabasePathText() override { return path; }
    bool SkipChecked() override { return skip; }
    TDateTime CalendarValue() override { return calendar; }
    bool CorrectionChecked() override { return correction; }
    void UncheckCorrection() override
    {
        correction = false;
        events.push_back("uncheck");
    }
    void ClearTrace() override { events.push_back("clear"); }
    void SetScreenCursor(TCursor cursor) override { events.push_back("cursor " + std::to_string(cursor)); }
    void Trace(std::string text, TColor colour) override
    {
        if (colour == clBlack) {
            information.push_back({events.size(), std::move(text)});
            return;
        }
        const char* name = colour == clBlue ? "blue " : colour == clGreen ? "green " : colour == clRed ? "red " : "? ";
        events.push_back(name + text);
        if (afterTrace)
            afterTrace(colour);
    }
};

// The run's own events, as RecordingHost writes them down.
namespace run_events {
inline const std::string Busy = "cursor -11";
inline const std::string Normal = "cursor 0";
inline const std::string Saving = "blue Сохранение оригинального файла БД (*.fdb -> *.bak)...";
inline const std::string Ok = "green ...Ok";
inline const std::string Deleting = "blue Удаление данных до выбранной даты...";
inline const std::string BackingUp = "blue Создание бэкапа файла БД (*.fdb -> *.fdk)...";
inline const std::string Restoring = "blue Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...";
inline const std::string Done = "green \nDone!";
}  // namespace run_events
