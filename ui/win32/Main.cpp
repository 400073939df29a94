#include "ui/win32/Main.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "platform/WideTextWin.h"
#include "ui/win32/DateTimeCalendar.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/TextWin.h"
#include "ui/win32/TracePane.h"

TMainForm* MainForm = nullptr;

namespace {

using win32ui::Utf8ToWide;

constexpr wchar_t FormClass[] = L"TMainForm";
constexpr wchar_t PanelClass[] = L"TPanel";
constexpr int FirstControlId = 100;
// The paint messages KeepAlive lets through at most at one time, in case a
// window leaves its update region in place.
constexpr int KeepAlivePaintLimit = 64;

// The form a window of ours belongs to. The form comes with the window's
// creation message and is kept on the window; until then, and for that
// message itself, there is none and the default handling serves.
TMainForm* FormOf(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return nullptr;
    }
    return reinterpret_cast<TMainForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void RegisterClasses(HINSTANCE instance)
{
    static bool registered = false;
    if (registered)
        return;
    // RICHEDIT50W lives in msftedit.dll, which nothing else loads.
    if (LoadLibraryW(L"msftedit.dll") == nullptr)
        throw std::runtime_error("msftedit.dll could not be loaded");
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_DATE_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);

    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpszClassName = FormClass;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    form.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    form.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    form.lpfnWndProc = TMainForm::FormProc;
    WNDCLASSEXW panel = form;
    panel.lpszClassName = PanelClass;
    panel.hIcon = panel.hIconSm = nullptr;
    panel.lpfnWndProc = TMainForm::PanelProc;
    if (!RegisterClassExW(&form) || !RegisterClassExW(&panel))
        throw std::runtime_error("the window classes could not be registered");
    registered = true;
}

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle WindowKind(const form::Control& control)
{
    switch (control.kind) {
    case form::Kind::Panel:
        return {PanelClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case form::Kind::Edit:
        return {WC_EDITW, ES_READONLY | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE};
    case form::Kind::EditLabel:
    case form::Kind::Label:
        // One line each: a caption a little too wide for its box is cut at
        // the right, never wrapped onto a second line the box cannot show.
        return {WC_STATICW,
                static_cast<DWORD>(SS_NOPREFIX |
                                   (control.name == "DateTimeLabel" ? SS_LEFT | SS_CENTERIMAGE : SS_LEFTNOWORDWRAP)),
                0};
    case form::Kind::Button:
        return {WC_BUTTONW, BS_PUSHBUTTON, 0};
    case form::Kind::CheckBox:
        return {WC_BUTTONW, BS_AUTOCHECKBOX, 0};
    case form::Kind::RichEdit:
        return {MSFTEDIT_CLASS,
                ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | WS_VSCROLL | WS_HSCROLL,
                WS_EX_CLIENTEDGE};
    case form::Kind::MonthCalendar:
        return {MONTHCAL_CLASSW, 0, 0};
    }
    throw std::logic_error("unknown control kind");
}

}  // namespace

TMainForm::TMainForm(std::unique_ptr<FileNameDialog> dialog, RunFactory makeRun,
                     std::unique_ptr<win32ui::TaskbarProgress> taskbar)
    : fileDialog_(dialog ? std::move(dialog) : std::make_unique<OpenFileDialog>()),
      taskbar_(taskbar ? std::move(taskbar) : std::make_unique<win32ui::ShellTaskbarProgress>()),
      presenter_(*this, *this, makeRun)
{
    FileOpenDialog = fileDialog_.get();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClasses(instance);

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, form::ClientSize.width, form::ClientSize.height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    Handle = CreateWindowExW(0, FormClass, Utf8ToWide(form::Caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (Handle == nullptr)
        throw std::runtime_error("the main window could not be created");
    // Only the window knows the DPI of the display it was put on.
    dpi_ = win32ui::WindowDpi(Handle);
    fonts_ = win32ui::WindowFonts(dpi_);
    if (dpi_ != USER_DEFAULT_SCREEN_DPI) {
        frame = {0, 0, Scale(form::ClientSize.width), Scale(form::ClientSize.height)};
        win32ui::AdjustFrameForDpi(frame, style, dpi_);
        SetWindowPos(Handle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.For(form::FontRole::Window)), FALSE);
    // Set on the window too, so the task bar and other programs can ask for it.
    for (const WPARAM size : {ICON_SMALL, ICON_BIG})
        SendMessageW(Handle, WM_SETICON, size,
                     GetClassLongPtrW(Handle, size == ICON_SMALL ? GCLP_HICONSM : GCLP_HICON));
    CreateControls();
    LayOutForm();

    presenter_.Start();
}

TMainForm::~TMainForm()
{
    SetScreenCursor(crDefault);
    if (Handle != nullptr) {
        SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
        DestroyWindow(Handle);
    }
    if (labelBrush_ != nullptr)
        DeleteObject(labelBrush_);
}

void TMainForm::CreateControls()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    int id = FirstControlId;
    for (const form::Control& control : form::Controls()) {
        const ClassAndStyle kind = WindowKind(control);
        const bool inPanel = control.kind != form::Kind::Panel;
        DWORD style = WS_CHILD | kind.style;
        if (control.visible)
            style |= WS_VISIBLE;
        if (control.tabStop)
            style |= WS_TABSTOP;
        const form::Rect placed = DesignedInParent(control);
        HWND window = CreateWindowExW(kind.exStyle, kind.className, Utf8ToWide(control.text).c_str(), style,
                                      placed.left, placed.top, placed.width, placed.height, inPanel ? Panel1 : Handle,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, this);
        if (window == nullptr)
            throw std::runtime_error("the control " + std::string(control.name) + " could not be created");
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.For(control.font)), FALSE);
        controls_[window] = &control;
        if (control.kind == form::Kind::Panel)
            Panel1 = window;
    }
    FileNameLabeledEdit = Control("FileNameLabeledEdit");
    FileNameLabeledEditLabel = Control("FileNameLabeledEditLabel");
    FileOpenButton = Control("FileOpenButton");
    TraceRichEdit = Control("TraceRichEdit");
    MonthCalendar = Control("MonthCalendar");
    DateTimeLabel = Control("DateTimeLabel");
    CopyFromLabel = Control("CopyFromLabel");
    SkipCheckBox = Control("SkipCheckBox");
    ClearDBButton = Control("ClearDBButton");
    CorrectBDCheckBox = Control("CorrectBDCheckBox");

    // The keyboard's order is the windows' order (z-order) in the panel.
    HWND after = HWND_TOP;
    for (const form::Control* control : FormPresenter::TabOrder()) {
        HWND window = Control(control->name);
        SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = window;
    }

    // Colours are set per line on the text.
    win32ui::SetUpTracePane(TraceRichEdit);

    // Today marked and written below, no week numbers, the locale's first day.
    win32ui::NotifyCalendarClicks(
        MonthCalendar,
        [](void* form) {
            auto* self = static_cast<TMainForm*>(form);
            self->MonthCalendarClick(self->MonthCalendar);
        },
        this);
    for (HWND button : {FileOpenButton, ClearDBButton})
        SetWindowSubclass(button, ButtonProc, 1, reinterpret_cast<DWORD_PTR>(this));
    AddFileNameToolTip();
}

void TMainForm::AddFileNameToolTip()
{
    // Shown also while another program is active, and with every '&' of a
    // path kept as it is.
    FileNameToolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    if (FileNameToolTip == nullptr)
        throw std::runtime_error("the tooltip could not be created");
    // The text is asked for each time the tip shows, so it is the path the
    // edit holds then, however it got there.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Panel1;
    tool.uId = reinterpret_cast<UINT_PTR>(FileNameLabeledEdit);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(FileNameToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

int TMainForm::Scale(int designed) const
{
    return MulDiv(designed, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

form::Rect TMainForm::Scale(const form::Rect& designed, int originLeft, int originTop) const
{
    // Each edge is scaled from the client area's corner, so that no edge is
    // more than half a pixel from where the whole window scaled puts it.
    const int left = Scale(originLeft + designed.left) - Scale(originLeft);
    const int top = Scale(originTop + designed.top) - Scale(originTop);
    const int right = Scale(originLeft + designed.left + designed.width) - Scale(originLeft);
    const int bottom = Scale(originTop + designed.top + designed.height) - Scale(originTop);
    return {left, top, right - left, bottom - top};
}

form::Rect TMainForm::DesignedInParent(const form::Control& control) const
{
    if (control.kind == form::Kind::Panel)
        return Scale(control.rect, 0, 0);
    // The table measures from the panel's inner area; the window from the
    // panel's corner, so that the controls stand where the whole window
    // scaled puts them.
    const form::Rect& panel = form::Find("Panel1").rect;
    const form::Rect inPanel{control.rect.left + form::PanelFrame, control.rect.top + form::PanelFrame,
                             control.rect.width, control.rect.height};
    return Scale(inPanel, panel.left, panel.top);
}

void TMainForm::SetDpi(UINT dpi)
{
    dpi_ = dpi;
    // The old fonts go only once no control holds them any longer.
    const win32ui::WindowFonts old = std::exchange(fonts_, win32ui::WindowFonts(dpi_));
    SendMessageW(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.For(form::FontRole::Window)), FALSE);
    for (const auto& [window, control] : controls_)
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.For(control->font)), TRUE);
}

HWND TMainForm::Control(std::string_view name) const
{
    for (const auto& [window, control] : controls_)
        if (control->name == name)
            return window;
    throw std::out_of_range("no control named " + std::string(name));
}

void TMainForm::LayOutForm()
{
    if (Panel1 == nullptr)
        return;
    RECT client{};
    GetClientRect(Handle, &client);
    const form::Control& panel = form::Find("Panel1");
    const form::Rect placed = form::Place(Scale(panel.rect, 0, 0), panel.anchors,
                                          {Scale(form::ClientSize.width), Scale(form::ClientSize.height)},
                                          {client.right, client.bottom});
    SetWindowPos(Panel1, nullptr, placed.left, placed.top, placed.width, placed.height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The panel may keep its size while the DPI changes.
    LayOutPanel();
}

void TMainForm::LayOutPanel()
{
    const form::Rect designed = Scale(form::Find("Panel1").rect, 0, 0);
    RECT client{};
    GetClientRect(Panel1, &client);
    for (const auto& [window, control] : controls_) {
        if (control->kind == form::Kind::Panel)
            continue;
        const form::Rect placed = form::Place(DesignedInParent(*control), control->anchors, {designed.width, designed.height},
                                              {client.right, client.bottom});
        SetWindowPos(window, nullptr, placed.left, placed.top, placed.width, placed.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(Panel1, nullptr, TRUE);
}

LRESULT CALLBACK TMainForm::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TMainForm* self = FormOf(window, message, lParam);
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        self->LayOutForm();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a display of another DPI, or that display's DPI changed:
        // Windows suggests the window's new place and size.
        self->SetDpi(LOWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        self->LayOutForm();
        return 0;
    }
    case WM_SETCURSOR:
        if (self->SetCursorIfBusy())
            return TRUE;
        break;
    case WM_CLOSE:
        if (self->presenter_.MayClose())
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        self->Handle = nullptr;
        if (self->EndsProgram)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TMainForm* self = FormOf(window, message, lParam);
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client{};
        GetClientRect(window, &client);
        DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SIZE:
        self->LayOutPanel();
        return 0;
    case WM_COMMAND:
        if (lParam != 0 && self->Command(reinterpret_cast<HWND>(lParam), HIWORD(wParam)))
            return 0;
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        // Every change of the calendar's value, by mouse, keyboard, month
        // arrows or the today footer, shows the day the run will cut off at.
        if (header->hwndFrom == self->MonthCalendar && (header->code == MCN_SELCHANGE || header->code == MCN_SELECT)) {
            self->presenter_.CalendarDayChanged();
            return 0;
        }
        if (header->hwndFrom == self->FileNameToolTip && header->code == TTN_GETDISPINFOW) {
            // Kept in the form: the tooltip reads the text after this returns.
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
            const int length = GetWindowTextLengthW(self->FileNameLabeledEdit);
            self->toolTipText_.assign(static_cast<size_t>(length) + 1, L'\0');
            GetWindowTextW(self->FileNameLabeledEdit, self->toolTipText_.data(), length + 1);
            self->toolTipText_.resize(static_cast<size_t>(length));
            info->lpszText = self->toolTipText_.data();
            return 0;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == self->DateTimeLabel)
            return self->StaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        break;
    case WM_SETCURSOR:
        if (self->SetCursorIfBusy())
            return TRUE;
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TMainForm::ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR)
{
    // The form is no dialog, so the dialog manager neither makes the
    // focused button the default one nor presses it on Return (keypad Enter
    // is Return too). The button asks for that key and presses itself, once
    // per press rather than per key repeat.
    if (message == WM_GETDLGCODE) {
        LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        const auto* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN)
            result |= DLGC_WANTMESSAGE;
        return result;
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        constexpr LPARAM repeated = 1 << 30;
        if ((lParam & repeated) == 0)
            SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                         reinterpret_cast<LPARAM>(window));
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

bool TMainForm::Command(HWND control, WORD code)
{
    if (code != BN_CLICKED)
        return false;
    if (control == FileOpenButton)
        FileOpenButtonClick(FileOpenButton);
    else if (control == SkipCheckBox)
        SkipCheckBoxClick(SkipCheckBox);
    else if (control == ClearDBButton)
        ClearDBButtonClick(ClearDBButton);
    else
        return false;
    AfterHandler();
    return true;
}

void TMainForm::AfterHandler()
{
    // A quit met while the run pumped messages takes effect now that the
    // run is over.
    if (quitRequested_ && !presenter_.Running()) {
        quitRequested_ = false;
        PostQuitMessage(static_cast<int>(quitCode_));
    }
}

LRESULT TMainForm::StaticColour(HDC dc, HWND)
{
    SetTextColor(dc, clBlue);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void TMainForm::ShowError(HWND owner, const std::exception_ptr& error)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    MessageBoxW(owner, win32ui::ErrorMessageText(error).c_str(), win32ui::ApplicationTitle(path).c_str(),
                MB_OK | MB_ICONERROR);
}

void TMainForm::FileOpenButtonClick(HWND)
{
    presenter_.FileOpenButtonClick();
}

void TMainForm::MonthCalendarClick(HWND)
{
    presenter_.MonthCalendarClick();
}

void TMainForm::SkipCheckBoxClick(HWND)
{
    presenter_.SkipCheckBoxClick();
}

void TMainForm::ClearDBButtonClick(HWND)
{
    presenter_.ClearDBButtonClick();
}

std::optional<std::string> TMainForm::ChooseDatabaseFile(std::string_view filter, std::string_view defaultExt)
{
    const std::optional<std::wstring> chosen =
        FileOpenDialog->Choose(Handle, win32ui::Utf8ToWide(filter), win32ui::Utf8ToWide(defaultExt));
    if (!chosen)
        return std::nullopt;
    return platform::WideToAnsi(*chosen);
}

void TMainForm::ShowDatabasePath(const std::string& path)
{
    SetWindowTextW(FileNameLabeledEdit, platform::AnsiToWide(path).c_str());
}

void TMainForm::SetCalendarDay(int year, int month, int day)
{
    win32ui::PutCalendarOn(MonthCalendar, year, month, day);
}

void TMainForm::ShowCalendarDay()
{
    SetWindowTextW(DateTimeLabel, win32ui::ShortDateText(win32ui::CalendarDay(MonthCalendar)).c_str());
}

void TMainForm::EnableControl(std::string_view name, bool enabled)
{
    EnableWindow(Control(name), enabled);
}

void TMainForm::ShowControl(std::string_view name, bool shown)
{
    ShowWindow(Control(name), shown ? SW_SHOW : SW_HIDE);
}

void TMainForm::ShowError(const std::exception_ptr& error)
{
    ShowError(Handle, error);
}

void TMainForm::CloseWindow()
{
    if (Handle != nullptr)
        DestroyWindow(Handle);
}

bool TMainForm::AskToStop(std::string_view question)
{
    return MessageBoxW(Handle, Utf8ToWide(question).c_str(), Utf8ToWide(form::Caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void TMainForm::ShowProgress(const std::string& caption, std::optional<int> percent)
{
    if (Handle == nullptr)
        return;
    SetWindowTextW(Handle, Utf8ToWide(caption).c_str());
    taskbar_->Show(Handle, percent);
}

void TMainForm::EndProgress()
{
    if (Handle == nullptr)
        return;
    SetWindowTextW(Handle, Utf8ToWide(form::Caption).c_str());
    taskbar_->Clear(Handle);
}

void TMainForm::ProcessMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitRequested_ = true;
            quitCode_ = message.wParam;
            continue;
        }
        if (Handle != nullptr && IsDialogMessageW(Handle, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void TMainForm::Trace(std::string text, TColor colour)
{
    // TColor and COLORREF share their layout: 0x00BBGGRR.
    win32ui::SetTypingColour(TraceRichEdit, colour);
    ProcessMessages();
    win32ui::AppendTraceLine(TraceRichEdit, win32ui::CoreTextToWide(text), colour);
    ProcessMessages();
}

std::string TMainForm::DatabasePathText()
{
    const int length = GetWindowTextLengthW(FileNameLabeledEdit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(FileNameLabeledEdit, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return platform::WideToAnsi(text);
}

bool TMainForm::SkipChecked()
{
    return SendMessageW(SkipCheckBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

TDateTime TMainForm::CalendarValue()
{
    return win32ui::CalendarCutOff(MonthCalendar);
}

bool TMainForm::CorrectionChecked()
{
    return SendMessageW(CorrectBDCheckBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TMainForm::UncheckCorrection()
{
    SendMessageW(CorrectBDCheckBox, BM_SETCHECK, BST_UNCHECKED, 0);
}

void TMainForm::ClearTrace()
{
    SetWindowTextW(TraceRichEdit, L"");
}

bool TMainForm::SetCursorIfBusy()
{
    if (!busyCursor_)
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

void TMainForm::SetScreenCursor(TCursor cursor)
{
    busyCursor_ = cursor == crHourGlass;
    SetCursor(LoadCursorW(nullptr, busyCursor_ ? IDC_WAIT : IDC_ARROW));
}

void TMainForm::KeepAlive(const RunProgress& progress)
{
    presenter_.ShowProgress(progress);
    // Without this a copy or restore of minutes leaves the window blank, and
    // Windows marks it as not responding. Input stays queued: a click handled
    // here could change what the blocked step is working on, and the run
    // reads its inputs only between its lines.
    MSG message;
    for (int i = 0; i < KeepAlivePaintLimit && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i)
        DispatchMessageW(&message);
    DispatchCloseRequests();
}

void TMainForm::DispatchCloseRequests()
{
    // Each kind is looked at where it stands in the queue before it is
    // taken, so that whatever else waits there stays in its order.
    const auto take = [](UINT kind, auto isClose) {
        MSG message;
        if (!PeekMessageW(&message, nullptr, kind, kind, PM_NOREMOVE | PM_NOYIELD) || !isClose(message))
            return false;
        PeekMessageW(&message, message.hwnd, kind, kind, PM_REMOVE | PM_NOYIELD);
        DispatchMessageW(&message);
        return true;
    };
    const auto always = [](const MSG&) { return true; };
    const auto sysClose = [](const MSG& m) { return (m.wParam & 0xFFF0) == SC_CLOSE; };
    // The caption's close box: Windows tracks the button itself and, once
    // released on it, sends SC_CLOSE.
    const auto closeBox = [](const MSG& m) { return m.wParam == HTCLOSE; };
    // Alt+F4 comes after Alt's own key-down, which changes nothing in a
    // window without a menu (its release, which could open the system
    // menu, stays queued); the default handling turns F4 into SC_CLOSE.
    const auto altF4 = [](const MSG& m) { return m.wParam == VK_F4 || m.wParam == VK_MENU; };
    // A few rounds: a key becomes a system command, which becomes WM_CLOSE.
    for (int round = 0; round < 4; ++round) {
        bool any = false;
        while (take(WM_SYSKEYDOWN, altF4))
            any = true;
        any |= take(WM_NCLBUTTONDOWN, closeBox);
        any |= take(WM_SYSCOMMAND, sysClose);
        any |= take(WM_CLOSE, always);
        if (!any || Handle == nullptr)
            return;
    }
}
