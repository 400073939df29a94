#include "ui/FormPresenter.h"

#include <algorithm>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"

FormPresenter::FormPresenter(FormView& view, CleaningHost& host, const RunFactory& makeRun)
    : view_(view), host_(host), run_(makeRun ? makeRun(host) : std::make_unique<CleaningRun>(host))
{
}

FormPresenter::~FormPresenter() = default;

void FormPresenter::Start()
{
    // The calendar's value starts at the first moment of 1 January 2000.
    view_.SetCalendarDay(2000, 1, 1);
    view_.ShowCalendarDay();
}

template <class Handler>
void FormPresenter::Handling(Handler handler)
{
    // Nothing may unwind through the toolkit's own frames.
    try {
        handler();
    } catch (...) {
        view_.ShowError(std::current_exception());
    }
    // A close asked for during the run takes effect now that it is over.
    if (closeAfterRun_ && !run_->Running()) {
        closeAfterRun_ = false;
        view_.CloseWindow();
    }
}

void FormPresenter::FileOpenButtonClick()
{
    Handling([this] {
        // The run works on the file it started with; another choice now
        // would point the database stage elsewhere halfway through.
        if (run_->Running())
            return;
        const std::optional<std::string> chosen = view_.ChooseDatabaseFile(DatabaseFileFilter, DatabaseFileExt);
        if (!chosen)
            return;
        host_.ClearTrace();
        DBFileName = *chosen;
        view_.ShowDatabasePath(DBFileName);
    });
}

void FormPresenter::MonthCalendarClick()
{
    Handling([this] { view_.ShowCalendarDay(); });
}

void FormPresenter::CalendarDayChanged()
{
    view_.ShowCalendarDay();
}

void FormPresenter::SkipCheckBoxClick()
{
    Handling([this] {
        const bool skip = host_.SkipChecked();
        view_.EnableControl("CopyFromLabel", !skip);
        view_.EnableControl("DateTimeLabel", !skip);
        view_.ShowControl("MonthCalendar", !skip);
    });
}

void FormPresenter::ClearDBButtonClick()
{
    Handling([this] {
        // Clicks that arrive through the trace pane while a run is under way
        // must neither start a second run on the same working files nor
        // touch that run's cursor.
        if (run_->Running())
            return;
        struct Afterwards {
            FormPresenter& presenter;
            ~Afterwards()
            {
                presenter.host_.SetScreenCursor(crDefault);
                if (presenter.progressShown_)
                    presenter.view_.EndProgress();
                presenter.progressShown_ = false;
            }
        } afterwards{*this};
        run_->RunCleaning();
    });
}

bool FormPresenter::MayClose()
{
    if (!run_->Running())
        return true;
    // Asked once per request: a second close while the box is open, or
    // after the answer, only waits for the run like the first.
    if (!asking_ && !closeAfterRun_) {
        asking_ = true;
        const bool stop = view_.AskToStop(StopQuestion);
        asking_ = false;
        if (stop)
            run_->RequestStop();
    }
    closeAfterRun_ = true;
    return false;
}

void FormPresenter::CloseWhenRunIsOver()
{
    if (run_->Running())
        closeAfterRun_ = true;
    else
        view_.CloseWindow();
}

void FormPresenter::ShowProgress(const RunProgress& progress)
{
    view_.ShowProgress(ProgressCaption(progress, form::Caption), progress.percent);
    progressShown_ = true;
}

bool FormPresenter::Running() const
{
    return run_->Running();
}

std::vector<const form::Control*> FormPresenter::TabOrder()
{
    std::vector<const form::Control*> order;
    for (const form::Control& control : form::Controls())
        if (control.tabOrder != form::NoTabOrder)
            order.push_back(&control);
    std::sort(order.begin(), order.end(),
              [](const form::Control* a, const form::Control* b) { return a->tabOrder < b->tabOrder; });
    return order;
}
