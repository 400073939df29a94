#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "clean/CleaningHost.h"
#include "ui/FileNameDialog.h"

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
class TMainForm : public QWidget, public CleaningHost {
public:
    // Makes the window's cleaning run on the window as its host.
    using RunFactory = std::function<std::unique_ptr<CleaningRun>(CleaningHost&)>;

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
    CleaningRun& Run() { return *run_; }

    // CleaningHost: what a run reads from and does to the window.
    void Trace(std::string text, TColor colour) override;
    std::string DatabasePathText() override;
    bool SkipChecked() override;
    TDateTime CalendarValue() override;
    bool CorrectionChecked() override;
    void UncheckCorrection() override;
    void ClearTrace() override;
    void SetScreenCursor(TCursor cursor) override;
    // Paints and answers the desktop while the run waits for the copy or for
    // gbak; the operator's clicks and keys wait for the next Trace.
    void KeepAlive() override;

protected:
    // Closing during a run waits for the run's end.
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler; an error that escapes it is shown and the window stays.
    template <class Handler>
    void ShowingErrors(Handler handler);
    void ShowCalendarDate();

    std::unique_ptr<FileNameDialog> fileDialog_;
    std::unique_ptr<CleaningRun> run_;
    bool busyCursor_ = false;
    bool closeAfterRun_ = false;
};

// The one main window, set at start-up.
extern TMainForm* MainForm;
