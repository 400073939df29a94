#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clean/CleaningHost.h"
#include "ui/FormDesign.h"

class CleaningRun;

// What the presenter asks of a window, in the toolkit's own terms behind it.
// Controls are named as in the control table.
class FormView {
public:
    virtual ~FormView() = default;

    // Asks the operator for the database file: the chosen path in the
    // system's 8-bit code page, or nothing when the operator cancels.
    // `filter` is "Description|pattern", `defaultExt` like "*.fdb".
    virtual std::optional<std::string> ChooseDatabaseFile(std::string_view filter, std::string_view defaultExt) = 0;
    // Shows `path` (8-bit, as DBFileName holds it) in FileNameLabeledEdit.
    virtual void ShowDatabasePath(const std::string& path) = 0;
    // Puts the calendar on the first moment of `day`.
    virtual void SetCalendarDay(int year, int month, int day) = 0;
    // Writes the calendar's day into DateTimeLabel, in the operator's
    // short date format.
    virtual void ShowCalendarDay() = 0;
    virtual void EnableControl(std::string_view name, bool enabled) = 0;
    virtual void ShowControl(std::string_view name, bool shown) = 0;
    // The application's error box for an error that escaped a handler.
    virtual void ShowError(const std::exception_ptr& error) = 0;
    // Closes the window now.
    virtual void CloseWindow() = 0;
    // Asks, in a box of its own, whether to stop the run under way, with
    // continuing as the default answer; true to stop. `question` is UTF-8.
    virtual bool AskToStop(std::string_view question) = 0;
    // Shows where the run stands in the window's caption (UTF-8) and, where
    // the desktop has one, on the window's taskbar button or launcher icon:
    // `percent` of it, or busy with no share known.
    virtual void ShowProgress(const std::string& caption, std::optional<int> percent) = 0;
    // Puts the caption back to the window's own and takes the progress off
    // the taskbar button or launcher icon.
    virtual void EndProgress() = 0;
};

// The behaviour both windows share, written once: what each button, box
// and the calendar do, the one run and its guards, the busy cursor's reset,
// the error box around every handler, and closing once a run is over. A
// window builds its controls from the control table, forwards its events
// here and does what the presenter asks through FormView and CleaningHost.
class FormPresenter {
public:
    using RunFactory = std::function<std::unique_ptr<CleaningRun>(CleaningHost&)>;

    static constexpr std::string_view DatabaseFileFilter = "Database files (*.fdb)|*.fdb";
    static constexpr std::string_view DatabaseFileExt = "*.fdb";

    // The run is made on `host` (the window), by `makeRun` when given, else
    // on the platform's files, processes and registry.
    FormPresenter(FormView& view, CleaningHost& host, const RunFactory& makeRun);
    ~FormPresenter();
    FormPresenter(const FormPresenter&) = delete;
    FormPresenter& operator=(const FormPresenter&) = delete;

    // Once the window's controls exist: the calendar's start and its label.
    void Start();

    // Each shows an error that escapes it in the error box, and closes the
    // window afterwards if a close was asked for during a run now over.
    void FileOpenButtonClick();
    void MonthCalendarClick();
    void SkipCheckBoxClick();
    // The whole cleaning run, synchronously.
    void ClearDBButtonClick();
    // Any change of the calendar's day: the label must show the day the run
    // will cut off at, however it was changed.
    void CalendarDayChanged();

    // Whether the window may close now. During a run it may not: the
    // operator is asked whether to stop it, and the window closes once the
    // run is over, stopped or not.
    bool MayClose();
    // Closes the window without asking: now, or once the run under way is
    // over. For a request to end from outside (a shutdown signal), which
    // nobody may be there to answer.
    void CloseWhenRunIsOver();
    // What the window's KeepAlive hears from the run.
    void ShowProgress(const RunProgress& progress);

    static constexpr std::string_view StopQuestion =
        "Идёт очистка БД. Остановить её?\n\nОстановленная очистка вернёт оригинальный файл БД на место, и окно "
        "закроется. Если очистку продолжить, окно закроется после её окончания.";
    bool Running() const;
    CleaningRun& Run() { return *run_; }

    // The controls the keyboard walks through, in their order; those with
    // `tabStop` are where Tab stops.
    static std::vector<const form::Control*> TabOrder();

private:
    template <class Handler>
    void Handling(Handler handler);

    FormView& view_;
    CleaningHost& host_;
    std::unique_ptr<CleaningRun> run_;
    bool closeAfterRun_ = false;
    bool asking_ = false;
    bool progressShown_ = false;
};
