#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "clean/CleaningHost.h"
#include "ui/FormDesign.h"
#include "ui/FormPresenter.h"
#include "ui/win32/FileNameDialog.h"
#include "ui/win32/TaskbarProgress.h"
#include "ui/win32/WindowFonts.h"

class CleaningRun;

// The operator's one window on Windows, made of Windows' own controls: choose
// the database file, pick the cut-off day, start a cleaning run and read its
// lines.
class TMainForm : public CleaningHost, private FormView {
public:
    using RunFactory = FormPresenter::RunFactory;

    // `dialog`: the standard open-file dialog when none is given. `makeRun`:
    // a run on the platform's files, processes and registry when none is
    // given. `taskbar`: the taskbar's own progress when none is given.
    explicit TMainForm(std::unique_ptr<FileNameDialog> dialog = nullptr, RunFactory makeRun = nullptr,
                       std::unique_ptr<win32ui::TaskbarProgress> taskbar = nullptr);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    HWND Handle = nullptr;
    HWND Panel1 = nullptr;
    HWND FileNameLabeledEdit = nullptr;
    HWND FileNameLabeledEditLabel = nullptr;
    HWND FileOpenButton = nullptr;
    HWND TraceRichEdit = nullptr;
    HWND MonthCalendar = nullptr;
    HWND DateTimeLabel = nullptr;
    HWND CopyFromLabel = nullptr;
    HWND SkipCheckBox = nullptr;
    HWND ClearDBButton = nullptr;
    HWND CorrectBDCheckBox = nullptr;
    // Shows the whole database path over FileNameLabeledEdit, which is often
    // too narrow for it.
    HWND FileNameToolTip = nullptr;
    FileNameDialog* FileOpenDialog = nullptr;

    // The window of a control of the table, by its name.
    HWND Control(std::string_view name) const;
    // Whether the window's destruction ends the message loop: true for the
    // program's main window.
    bool EndsProgram = false;

    void FileOpenButtonClick(HWND sender);
    void MonthCalendarClick(HWND sender);
    void SkipCheckBoxClick(HWND sender);
    // The whole cleaning run, synchronously.
    void ClearDBButtonClick(HWND sender);
    CleaningRun& Run() { return presenter_.Run(); }

    // CleaningHost
    void Trace(std::string text, TColor colour) override;
    std::string DatabasePathText() override;
    bool SkipChecked() override;
    TDateTime CalendarValue() override;
    bool CorrectionChecked() override;
    void UncheckCorrection() override;
    void ClearTrace() override;
    void SetScreenCursor(TCursor cursor) override;
    bool FollowsProgress() override { return true; }
    // Shows the progress and paints while the run waits for a long step;
    // the operator's clicks and keys wait for the next Trace, but a request
    // to close is heard, so the run can be stopped.
    void KeepAlive(const RunProgress& progress) override;

    // Takes and dispatches every waiting message without waiting for more,
    // keyboard navigation included. A quit request is kept, not dispatched,
    // and posted again once the handler under way has returned.
    void ProcessMessages();

    // Shows an error that escaped a handler or the start-up in the
    // application's error box.
    static void ShowError(HWND owner, const std::exception_ptr& error);

    // The window procedures of the form's and the panel's window classes.
    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data);

    void CreateControls();
    void AddFileNameToolTip();
    // The table's pixels are 96-dpi pixels; the window's are `dpi_` ones.
    int Scale(int designed) const;
    // `designed` measured from a point (originLeft, originTop) of the
    // 96-dpi window; the result from the same point in the scaled window.
    form::Rect Scale(const form::Rect& designed, int originLeft, int originTop) const;
    // Where the control stands in its parent at the designed size.
    form::Rect DesignedInParent(const form::Control& control) const;
    void SetDpi(UINT dpi);
    void LayOutForm();
    void LayOutPanel();
    bool Command(HWND control, WORD code);
    LRESULT StaticColour(HDC dc, HWND control);
    bool SetCursorIfBusy();
    void AfterHandler();
    // Takes and dispatches the requests to close waiting in the queue, and
    // nothing else.
    void DispatchCloseRequests();

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

    std::unique_ptr<FileNameDialog> fileDialog_;
    std::unique_ptr<win32ui::TaskbarProgress> taskbar_;
    FormPresenter presenter_;
    std::map<HWND, const form::Control*> controls_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    win32ui::WindowFonts fonts_{USER_DEFAULT_SCREEN_DPI};
    std::wstring toolTipText_;
    HBRUSH labelBrush_ = nullptr;
    bool busyCursor_ = false;
    bool quitRequested_ = false;
    WPARAM quitCode_ = 0;
};

// The one main window, set at start-up.
extern TMainForm* MainForm;
