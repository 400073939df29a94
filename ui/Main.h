#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "clean/CleaningHost.h"
#include "ui/FileNameDialog.h"
#include "ui/FormPresenter.h"
#include "ui/LauncherProgress.h"

class CleaningRun;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class DateTimeCalendar;
class TracePane;

// The operator's one window: choose the database file, pick the cut-off day,
// start a cleaning run and read its lines.
class TMainForm : public QWidget, public CleaningHost, private FormView {
public:
    // Makes the window's cleaning run on the window as its host.
    using RunFactory = FormPresenter::RunFactory;

    // `dialog` asks for the database file: the platform's open-file dialog
    // when none is given. `makeRun`: a run on the platform's files,
    // processes and registry when none is given.
    explicit TMainForm(QWidget* owner = nullptr, std::unique_ptr<FileNameDialog> dialog = nullptr,
                       RunFactory makeRun = nullptr);
    ~TMainForm() override;

    // The controls, owned by the window; each carries its member name as
    // object name.
    FileNameDialog* FileOpenDialog;
    QFrame* Panel1;
    QLineEdit* FileNameLabeledEdit;
    QLabel* FileNameLabeledEditLabel;
    QPushButton* FileOpenButton;
    TracePane* TraceRichEdit;
    DateTimeCalendar* MonthCalendar;
    QLabel* DateTimeLabel;
    QLabel* CopyFromLabel;
    QCheckBox* SkipCheckBox;
    QPushButton* ClearDBButton;
    QCheckBox* CorrectBDCheckBox;

    void FileOpenButtonClick(QObject* sender);
    void MonthCalendarClick(QObject* sender);
    void SkipCheckBoxClick(QObject* sender);
    // The whole cleaning run, synchronously.
    void ClearDBButtonClick(QObject* sender);
    // The window's cleaning run: what the button starts.
    CleaningRun& Run() { return presenter_.Run(); }
    // Closes the window without asking, once a run under way is over.
    void CloseWhenRunIsOver() { presenter_.CloseWhenRunIsOver(); }

    // CleaningHost: what a run reads from and does to the window.
    void Trace(std::string text, TColor colour) override;
    std::string DatabasePathText() override;
    bool SkipChecked() override;
    TDateTime CalendarValue() override;
    bool CorrectionChecked() override;
    void UncheckCorrection() override;
    void ClearTrace() override;
    void SetScreenCursor(TCursor cursor) override;
    bool FollowsProgress() override { return true; }
    // Paints, shows the progress and answers the desktop while the run
    // waits for a long step; the operator's clicks and keys wait for the
    // next Trace, but a close request is heard.
    void KeepAlive(const RunProgress& progress) override;

protected:
    // Closing during a run waits for the run's end.
    void closeEvent(QCloseEvent* event) override;

private:
    // FormView
    std::optional<std::string> ChooseDatabaseFile(std::string_view filter, std::string_view defaultExt) override;
    void ShowDatabasePath(const std::string& path) override;
    void SetCalendarDay(int year, int month, int day) override;
    void ShowCalendarDay() override;
    void EnableControl(std::string_view name, bool enabled) override;
    void ShowControl(std::string_view name, bool shown) override;
    void ShowError(const std::exception_ptr& error) override;
    void CloseWindow() override;
    bool AskToStop(std::string_view question) override;
    void ShowProgress(const std::string& caption, std::optional<int> percent) override;
    void EndProgress() override;

    QWidget* ControlWidget(std::string_view name) const;

    std::unique_ptr<FileNameDialog> fileDialog_;
    FormPresenter presenter_;
    LauncherProgress launcher_;
    bool busyCursor_ = false;
};

// The one main window, set at start-up.
extern TMainForm* MainForm;
