// The Win32 window driven through its real controls under Wine: the
// rectangles Windows reports, the keyboard's tab order, the trace pane's
// text and colours, the calendar, the file dialog's answers, whole runs with
// the stand-in gbak.exe and the stand-in client loaded as gds32.dll, the
// error box, the progress of a run and the request to stop it, and the
// program itself.
#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "clean/CleaningRun.h"
#include "clean/SharedStrings.h"
#include "tests/support/DesignedControls.h"
#include "tests/support/FileBytes.h"
#include "tests/support/RunSummary.h"
#include "tests/support/TempDir.h"
#include "tests/windows/StandInGbak.h"
#include "tests/windows/WindowsTestSupport.h"
#include "ui/FormDesign.h"
#include "ui/FormPresenter.h"
#include "ui/win32/Main.h"
#include "ui/win32/TaskbarProgress.h"

namespace {

// Answers the window's file question as a test tells it to.
class ScriptedDialog : public FileNameDialog {
public:
    std::optional<std::wstring> answer;
    int asked = 0;
    std::wstring filter, defaultExt;

    std::optional<std::wstring> Choose(HWND, const std::wstring& f, const std::wstring& ext) override
    {
        ++asked;
        filter = f;
        defaultExt = ext;
        return answer;
    }
};

// `taskbar`: the taskbar's own progress when none is given.
struct Form {
    ScriptedDialog* dialog;
    TMainForm form;

    explicit Form(std::unique_ptr<win32ui::TaskbarProgress> taskbar = nullptr)
        : dialog(new ScriptedDialog), form(std::unique_ptr<FileNameDialog>(dialog), nullptr, std::move(taskbar))
    {
        ShowWindow(form.Handle, SW_SHOWNORMAL);
        UpdateWindow(form.Handle);
        form.ProcessMessages();
    }
};

RECT InPanel(const TMainForm& form, HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, form.Panel1, reinterpret_cast<POINT*>(&r), 2);
    // Measured from the inner area, inside the 2 px etched frame.
    OffsetRect(&r, -2, -2);
    return r;
}

void ResizeClient(TMainForm& form, int width, int height)
{
    RECT window{}, client{};
    GetWindowRect(form.Handle, &window);
    GetClientRect(form.Handle, &client);
    const int extraWidth = (window.right - window.left) - client.right;
    const int extraHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(form.Handle, nullptr, 0, 0, width + extraWidth, height + extraHeight, SWP_NOMOVE | SWP_NOZORDER);
    form.ProcessMessages();
}

std::wstring Text(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Records what the window puts on its taskbar button, with the window's
// caption at that moment (read on the window's thread, where the window
// calls), and lets a test act on each report as it comes.
class RecordingTaskbar : public win32ui::TaskbarProgress {
public:
    struct Call {
        bool cleared;
        std::optional<int> percent;
        std::wstring caption;
    };
    std::vector<Call> calls;
    std::function<void(HWND window, const std::wstring& caption)> onShow;
    // At the run's end, while the window, which may close then, still stands.
    std::function<void()> onClear;

    void Show(HWND window, std::optional<int> percent) override
    {
        calls.push_back({false, percent, Text(window)});
        if (onShow)
            onShow(window, calls.back().caption);
    }
    void Clear(HWND window) override
    {
        calls.push_back({true, std::nullopt, Text(window)});
        if (onClear)
            onClear();
    }
};

std::wstring W(const char* utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

// The pane's text (paragraphs end in "\r") and the colour of each character.
struct PaneContent {
    std::wstring text;
    std::vector<COLORREF> colours;
};

PaneContent ReadPane(HWND pane)
{
    PaneContent content;
    GETTEXTLENGTHEX lengthOf{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto length =
        static_cast<LONG>(SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthOf), 0));
    content.text.assign(static_cast<size_t>(length) + 1, L'\0');
    TEXTRANGEW range{{0, length}, content.text.data()};
    SendMessageW(pane, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    content.text.resize(static_cast<size_t>(length));
    for (LONG i = 0; i < length; ++i) {
        CHARRANGE one{i, i + 1};
        SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&one));
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        SendMessageW(pane, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        // The pane's default colour: what the operator types is drawn in it.
        content.colours.push_back((format.dwEffects & CFE_AUTOCOLOR) != 0 ? CLR_DEFAULT : format.crTextColor);
    }
    CHARRANGE end{length, length};
    SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    return content;
}

// Lines of the pane with the colour of each, as "blue text".
std::vector<std::wstring> ColouredLines(HWND pane)
{
    const PaneContent content = ReadPane(pane);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t i = 0; i <= content.text.size(); ++i) {
        if (i < content.text.size() && content.text[i] != L'\r')
            continue;
        if (i == content.text.size() && start == i)
            break;
        std::wstring name = L"none";
        if (i > start) {
            const COLORREF colour = content.colours[start];
            name = colour == RGB(0, 0, 255)   ? L"blue"
                   : colour == RGB(0, 128, 0) ? L"green"
                   : colour == RGB(255, 0, 0) ? L"red"
                   : colour == RGB(0, 0, 0)   ? L"black"
                   : colour == CLR_DEFAULT    ? L"default"
                                              : L"other";
            for (size_t j = start; j < i; ++j)
                if (content.colours[j] != colour)
                    name = L"mixed";
        }
        lines.push_back(name + L" " + content.text.substr(start, i - start));
        start = i + 1;
    }
    return lines;
}

// The lines of a run that ended with "Done!", its summary in black checked
// and left out.
std::vector<std::wstring> DoneLines(const std::vector<std::wstring>& lines)
{
    return WithoutSummaryBy(lines, [](const std::wstring& line) {
        const std::wstring black = L"black ";
        if (line.rfind(black, 0) != 0)
            return "(not black) " + std::string(line.begin(), line.end());
        const std::wstring text = line.substr(black.size());
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                            nullptr);
        return utf8;
    });
}

std::vector<std::wstring> DoneLines(HWND pane)
{
    return DoneLines(ColouredLines(pane));
}

// The last line of a run that ended with "Done!", or what stands there.
std::wstring LastDoneLine(const std::vector<std::wstring>& lines)
{
    const std::vector<std::wstring> done = DoneLines(lines);
    return done.empty() ? std::wstring(L"(no lines)") : done.back();
}

TEST(Win32Window, ControlsStandWhereTheAnchorsPutThemAtTheDesignedSizeAndAfterResizing)
{
    // Worked out by hand: a client area 200 px wider and 100 px taller
    // widens the panel by as much, stretches the edit and the trace pane by
    // 200 px, moves the "..." button and the calendar 200 px right, and
    // leaves everything else, also in height, where it was.
    const struct {
        const char* control;
        RECT resized;  // left, top, right, bottom in the panel's inner area
    } resizedRects[] = {
        {"FileNameLabeledEdit", {80, 16, 669, 37}}, {"FileNameLabeledEditLabel", {15, 20, 70, 33}},
        {"FileOpenButton", {692, 14, 741, 39}},     {"CopyFromLabel", {16, 64, 105, 77}},
        {"DateTimeLabel", {128, 58, 241, 83}},      {"SkipCheckBox", {267, 63, 364, 80}},
        {"TraceRichEdit", {16, 104, 564, 264}},     {"MonthCalendar", {570, 104, 761, 264}},
        {"ClearDBButton", {32, 275, 145, 310}},     {"CorrectBDCheckBox", {192, 285, 289, 302}},
    };
    const auto resizedRect = [&](const char* name) {
        for (const auto& r : resizedRects)
            if (std::string_view(r.control) == name)
                return r.resized;
        ADD_FAILURE() << "no resized rectangle for " << name;
        return RECT{};
    };
    Form f;
    TMainForm& form = f.form;
    RECT client{};
    GetClientRect(form.Handle, &client);
    EXPECT_EQ(client.right, 582);
    EXPECT_EQ(client.bottom, 344);

    for (const bool resized : {false, true}) {
        if (resized)
            ResizeClient(form, 782, 444);
        RECT panel{};
        GetWindowRect(form.Panel1, &panel);
        MapWindowPoints(HWND_DESKTOP, form.Handle, reinterpret_cast<POINT*>(&panel), 2);
        const RECT expectedPanel = resized ? RECT{8, 8, 774, 436} : RECT{8, 8, 574, 336};
        EXPECT_TRUE(EqualRect(&panel, &expectedPanel)) << "Panel1 resized=" << resized;
        for (const designed::Control& c : designed::Controls) {
            const RECT actual = InPanel(form, form.Control(c.name));
            const RECT expected =
                resized ? resizedRect(c.name) : RECT{c.left, c.top, c.left + c.width, c.top + c.height};
            EXPECT_TRUE(EqualRect(&actual, &expected)) << c.name << " resized=" << resized << ": " << actual.left << ","
                                                       << actual.top << "," << actual.right << "," << actual.bottom;
        }
    }
    // The icon of the title bar and the task bar, from the resources.
    EXPECT_NE(SendMessageW(form.Handle, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_NE(SendMessageW(form.Handle, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_FALSE(IsWindowVisible(form.SkipCheckBox));
    EXPECT_TRUE(IsWindowVisible(form.MonthCalendar));
}

TEST(Win32Window, TabWalksTheTabStopsInTheirOrderAndSkipsTheCalendarAndTheHiddenBox)
{
    Form f;
    TMainForm& form = f.form;
    SetForegroundWindow(form.Handle);
    SetFocus(form.FileNameLabeledEdit);
    const std::vector<HWND> expected = {form.FileOpenButton, form.TraceRichEdit, form.ClearDBButton,
                                        form.CorrectBDCheckBox, form.FileNameLabeledEdit};
    std::vector<HWND> reached;
    for (size_t i = 0; i < expected.size(); ++i) {
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(GetFocus(), WM_KEYUP, VK_TAB, 0xC0000000);
        form.ProcessMessages();
        reached.push_back(GetFocus());
    }
    EXPECT_EQ(reached, expected);
}

TEST(Win32Window, TraceAppendsColouredLinesAlsoAfterTypedText)
{
    Form f;
    TMainForm& form = f.form;
    const struct {
        const char* text;
        TColor colour;
    } calls[] = {{"Сохранение...", clBlue}, {"...Ok", clGreen}, {"\nDone!", clGreen}, {"", clRed}};
    for (const auto& call : calls)
        form.Trace(call.text, call.colour);
    // The operator types at the end of the pane, without a line break.
    SetFocus(form.TraceRichEdit);
    for (const wchar_t c : std::wstring(L"typed"))
        PostMessageW(form.TraceRichEdit, WM_CHAR, c, 0);
    form.ProcessMessages();
    form.Trace("Неудача!", clRed);

    EXPECT_EQ(ColouredLines(form.TraceRichEdit),
              (std::vector<std::wstring>{W("blue Сохранение..."), L"green ...Ok", L"none ", L"green Done!", L"none ",
                                         L"default typed", W("red Неудача!")}));

    form.ClearTrace();
    EXPECT_TRUE(ReadPane(form.TraceRichEdit).text.empty());
    form.Trace("first", clBlue);
    EXPECT_EQ(ColouredLines(form.TraceRichEdit), (std::vector<std::wstring>{L"blue first"}));
}

// The first point in the calendar's client area where the hit test finds
// `what`, on `day` of January 2000 for a day.
std::optional<POINT> CalendarPoint(HWND calendar, UINT what, WORD day = 0)
{
    RECT client{};
    GetClientRect(calendar, &client);
    for (int y = 0; y < client.bottom; y += 2)
        for (int x = 0; x < client.right; x += 2) {
            MCHITTESTINFO hit{};
            hit.cbSize = MCHITTESTINFO_V1_SIZE;
            hit.pt = {x, y};
            SendMessageW(calendar, MCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            if (hit.uHit == what &&
                (what != MCHT_CALENDARDATE || (hit.st.wYear == 2000 && hit.st.wMonth == 1 && hit.st.wDay == day)))
                return hit.pt;
        }
    return std::nullopt;
}

std::wstring DateText(const SYSTEMTIME& date)
{
    wchar_t text[16] = {};
    swprintf(text, 16, L"%02u.%02u.%04u", date.wDay, date.wMonth, date.wYear);
    return text;
}

SYSTEMTIME Day(WORD year, WORD month, WORD day)
{
    SYSTEMTIME date{};
    date.wYear = year;
    date.wMonth = month;
    date.wDay = day;
    return date;
}

void Click(HWND window, POINT at)
{
    const LPARAM where = MAKELPARAM(at.x, at.y);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(window, WM_LBUTTONUP, 0, where);
}

// Presses `key` on the focused calendar as the operator does. Wine's
// calendar takes no keys; there the change the key makes on Windows
// (`onWindows`) is made as the calendar makes it: the value set, then the
// calendar's notification to its parent.
void PressInCalendar(TMainForm& form, UINT key, const SYSTEMTIME& onWindows)
{
    SetFocus(form.MonthCalendar);
    SYSTEMTIME before{};
    MonthCal_GetCurSel(form.MonthCalendar, &before);
    PostMessageW(form.MonthCalendar, WM_KEYDOWN, key, 1);
    PostMessageW(form.MonthCalendar, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
    form.ProcessMessages();
    SYSTEMTIME after{};
    MonthCal_GetCurSel(form.MonthCalendar, &after);
    if (after.wYear == before.wYear && after.wMonth == before.wMonth && after.wDay == before.wDay) {
        MonthCal_SetCurSel(form.MonthCalendar, &onWindows);
        NMSELCHANGE change{};
        change.nmhdr.hwndFrom = form.MonthCalendar;
        change.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(form.MonthCalendar));
        change.nmhdr.code = MCN_SELCHANGE;
        change.stSelStart = change.stSelEnd = onWindows;
        SendMessageW(GetParent(form.MonthCalendar), WM_NOTIFY, change.nmhdr.idFrom, reinterpret_cast<LPARAM>(&change));
        form.ProcessMessages();
    }
}

TEST(Win32Window, EveryChangeOfTheCalendarShowsTheCutOffDayInTheLabel)
{
    SYSTEMTIME today{};
    GetLocalTime(&today);
    const struct {
        const char* name;
        UINT key;      // 0 for a click on `clicked`
        UINT clicked;  // what the hit test calls the point clicked
        SYSTEMTIME picked;
    } cases[] = {
        {"a day clicked", 0, MCHT_CALENDARDATE, Day(2000, 1, 15)},
        {"the next day's arrow key", VK_RIGHT, 0, Day(2000, 1, 2)},
        {"Page Down, the next month", VK_NEXT, 0, Day(2000, 2, 1)},
        {"the next month's arrow", 0, MCHT_TITLEBTNNEXT, Day(2000, 2, 1)},
        {"the today footer", 0, MCHT_TODAYLINK, Day(today.wYear, today.wMonth, today.wDay)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form f;
        TMainForm& form = f.form;
        // The tests run in the Russian locale: day.month.year.
        ASSERT_EQ(Text(form.DateTimeLabel), L"01.01.2000");
        ASSERT_EQ(form.CalendarValue(), (TDateTime{2000, 1, 1, 0, 0, 0, 0}));

        if (c.key != 0) {
            PressInCalendar(form, c.key, c.picked);
        } else {
            const std::optional<POINT> at = CalendarPoint(form.MonthCalendar, c.clicked, 15);
            ASSERT_TRUE(at);
            Click(form.MonthCalendar, *at);
            form.ProcessMessages();
        }

        EXPECT_EQ(Text(form.DateTimeLabel), DateText(c.picked));
        // The cut-off is the first moment of the day shown.
        EXPECT_EQ(form.CalendarValue(), (TDateTime{c.picked.wYear, c.picked.wMonth, c.picked.wDay, 0, 0, 0, 0}));
    }
}

// The tip Windows shows when the mouse rests on the file name, or "(none)".
std::wstring HoveredTip(TMainForm& form)
{
    // Away first, so that the tip shows afresh.
    SendMessageW(form.FileNameToolTip, TTM_POP, 0, 0);
    SetCursorPos(0, 0);
    form.ProcessMessages();
    RECT edit{};
    GetWindowRect(form.FileNameLabeledEdit, &edit);
    POINT at{(edit.left + edit.right) / 2, (edit.top + edit.bottom) / 2};
    SetCursorPos(at.x, at.y);
    ScreenToClient(form.FileNameLabeledEdit, &at);
    // One move, then the mouse rests: every move restarts the tip's delay.
    PostMessageW(form.FileNameLabeledEdit, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    for (int tries = 0; tries < 400 && !IsWindowVisible(form.FileNameToolTip); ++tries) {
        form.ProcessMessages();
        Sleep(30);
    }
    return IsWindowVisible(form.FileNameToolTip) ? Text(form.FileNameToolTip) : L"(none)";
}

TEST(Win32Window, HoveringTheFileNameShowsTheWholePathAsChosenLast)
{
    // Longer than the edit shows, with an '&' that must not turn into an
    // underline, then a short one in its place.
    const std::wstring paths[] = {
        W("C:\\Базы данных\\Склад & магазин\\Основная база данных предприятия за все годы работы.fdb"),
        L"D:\\x.fdb",
    };
    Form f;
    TMainForm& form = f.form;
    SetForegroundWindow(form.Handle);
    EXPECT_EQ(HoveredTip(form), L"(none)");
    for (const std::wstring& path : paths) {
        f.dialog->answer = path;
        SendMessageW(form.FileOpenButton, BM_CLICK, 0, 0);
        EXPECT_EQ(HoveredTip(form), path);
    }
    SendMessageW(form.FileNameToolTip, TTM_POP, 0, 0);
}

// Within a pixel, every control stands where the table puts it and its
// font has the table's size, both scaled by dpi/96, and the bold roles are
// bold.
void ExpectScaledBy(const TMainForm& form, int dpi)
{
    const auto scaled = [dpi](int designed) { return designed * dpi / 96.0; };
    const auto within = [](long actual, double expected) { return std::abs(actual - expected) <= 1.0; };
    RECT client{};
    GetClientRect(form.Handle, &client);
    EXPECT_TRUE(within(client.right, scaled(form::ClientSize.width)) &&
                within(client.bottom, scaled(form::ClientSize.height)))
        << "client area " << client.right << "x" << client.bottom;
    const form::Rect& panel = form::Find("Panel1").rect;
    for (const form::Control& control : form::Controls()) {
        const std::string name(control.name);
        HWND window = form.Control(control.name);
        RECT actual{};
        GetWindowRect(window, &actual);
        MapWindowPoints(HWND_DESKTOP, form.Handle, reinterpret_cast<POINT*>(&actual), 2);
        // The table's rectangle in the 96-dpi client area.
        const bool inPanel = control.kind != form::Kind::Panel;
        const int x = control.rect.left + (inPanel ? panel.left + form::PanelFrame : 0);
        const int y = control.rect.top + (inPanel ? panel.top + form::PanelFrame : 0);
        EXPECT_TRUE(within(actual.left, scaled(x)) && within(actual.top, scaled(y)) &&
                    within(actual.right, scaled(x + control.rect.width)) &&
                    within(actual.bottom, scaled(y + control.rect.height)))
            << name << " at " << actual.left << "," << actual.top << "," << actual.right << "," << actual.bottom;
        // The panel writes nothing; the trace pane sets its face per line.
        if (control.kind == form::Kind::Panel || control.kind == form::Kind::RichEdit)
            continue;
        const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
        LOGFONTW face{};
        ASSERT_TRUE(font != nullptr && GetObjectW(font, sizeof face, &face) == sizeof face) << name;
        const bool bold = control.font == form::FontRole::Bold || control.font == form::FontRole::LargeBold;
        EXPECT_EQ(face.lfWeight, bold ? FW_BOLD : FW_NORMAL) << name;
        // An 11 px character height, or the large captions' 16 px cell.
        const double height = control.font == form::FontRole::LargeBold ? scaled(16) : -scaled(11);
        EXPECT_TRUE(within(face.lfHeight, height)) << name << ": font height " << face.lfHeight;
    }
}

// The DPI a session of this program reports, set in the current user's
// display settings for the processes started while it lasts.
class LogPixelsSetting {
public:
    explicit LogPixelsSetting(DWORD dpi)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) ==
               ERROR_SUCCESS;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~LogPixelsSetting()
    {
        if (had_)
            RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        else
            RegDeleteValueW(key_, L"LogPixels");
        RegCloseKey(key_);
    }
    LogPixelsSetting(const LogPixelsSetting&) = delete;
    LogPixelsSetting& operator=(const LogPixelsSetting&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

constexpr char StartedAtDpiVariable[] = "QUENOR_WINDOW_TEST_DPI";

// This test program again, with only `filter`'s tests, writing to the same
// output; its exit code, or -1 when it could not start or did not end.
int RunThisProgram(const std::string& filter)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = "\"" + std::string(path) + "\" --gtest_filter=" + filter;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

TEST(Win32Window, ScalesItsLayoutAndFontsByTheDpiOfItsDisplay)
{
    for (const int dpi : {120, 144, 192}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        // Windows keeps a window, frame and caption included, within the
        // screen.
        ASSERT_GE(GetSystemMetrics(SM_CXSCREEN), form::ClientSize.width * dpi / 96 + 50) << "too small a display";
        ASSERT_GE(GetSystemMetrics(SM_CYSCREEN), form::ClientSize.height * dpi / 96 + 50) << "too small a display";
        {
            // Started on a display of that DPI: Windows tells a process the
            // DPI when it starts, so the check runs in another process.
            LogPixelsSetting setting(static_cast<DWORD>(dpi));
            SetEnvironmentVariableA(StartedAtDpiVariable, std::to_string(dpi).c_str());
            EXPECT_EQ(RunThisProgram("Win32WindowStartedAtDpi.*"), 0);
            SetEnvironmentVariableA(StartedAtDpiVariable, nullptr);
        }
        // Moved to that display and back: Windows suggests the window's
        // rectangles, the client area scaled and the frame as it is.
        Form f;
        TMainForm& form = f.form;
        RECT designed{}, client{};
        GetWindowRect(form.Handle, &designed);
        GetClientRect(form.Handle, &client);
        RECT suggested = designed;
        suggested.right += std::lround((dpi - 96) * client.right / 96.0);
        suggested.bottom += std::lround((dpi - 96) * client.bottom / 96.0);
        for (const auto& [to, rect] : {std::pair{dpi, suggested}, std::pair{96, designed}}) {
            SCOPED_TRACE("moved to dpi " + std::to_string(to));
            SendMessageW(form.Handle, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&rect));
            form.ProcessMessages();
            RECT now{};
            GetWindowRect(form.Handle, &now);
            EXPECT_TRUE(EqualRect(&now, &rect)) << now.left << "," << now.top << "," << now.right << "," << now.bottom;
            ExpectScaledBy(form, to);
        }
    }
}

TEST(Win32WindowStartedAtDpi, StandsAndWritesScaledByIt)
{
    const char* dpi = std::getenv(StartedAtDpiVariable);
    if (dpi == nullptr)
        GTEST_SKIP() << "run by ScalesItsLayoutAndFontsByTheDpiOfItsDisplay in a session of another DPI";
    Form f;
    ExpectScaledBy(f.form, std::atoi(dpi));
}

TEST(Win32Window, TheFileDialogConfirmedOrCancelled)
{
    const struct {
        const char* name;
        std::optional<std::wstring> answer;
        std::wstring edit;  // what the edit shows afterwards
        bool traceCleared;
    } cases[] = {
        {"confirmed", W("C:\\Базы\\Основная БД.fdb"), W("C:\\Базы\\Основная БД.fdb"), true},
        // Letters that Windows-1251 cannot hold become '?', which no file
        // name holds, so the run refuses the path instead of reaching
        // another file; a look-alike ("e" for "é") would name one.
        {"outside the code page", W("C:\\日本\\x.fdb"), L"C:\\??\\x.fdb", true},
        {"only a look-alike in the code page", W("C:\\Café\\x.fdb"), L"C:\\Caf?\\x.fdb", true},
        {"cancelled", std::nullopt, L"C:\\before.fdb", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Form f;
        TMainForm& form = f.form;
        DBFileName = "C:\\before.fdb";
        SetWindowTextW(form.FileNameLabeledEdit, L"C:\\before.fdb");
        form.Trace("line of the last run", clRed);
        f.dialog->answer = c.answer;

        SendMessageW(form.FileOpenButton, BM_CLICK, 0, 0);

        EXPECT_EQ(f.dialog->asked, 1);
        EXPECT_EQ(f.dialog->filter, L"Database files (*.fdb)|*.fdb");
        EXPECT_EQ(f.dialog->defaultExt, L"*.fdb");
        EXPECT_EQ(Text(form.FileNameLabeledEdit), c.edit);
        EXPECT_EQ(ReadPane(form.TraceRichEdit).text.empty(), c.traceCleared);
        EXPECT_EQ(form.DatabasePathText(), DBFileName);
        DBFileName.clear();
    }
}

// A database folder, the stand-in gbak installed and registered, and the
// stand-in client's log.
class Win32WindowRun : public testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(base.c_str(), nullptr);
        WriteFileBytes(database, "pretend database");
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_LOG", clientLog.c_str());
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_FAIL", nullptr);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_LOG", nullptr);
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_FAIL", nullptr);
        DBFileName.clear();
    }

    void Choose(Form& f, const std::string& path)
    {
        f.dialog->answer = std::wstring(path.begin(), path.end());
        SendMessageW(f.form.FileOpenButton, BM_CLICK, 0, 0);
    }

    std::string ClientCalls()
    {
        std::ifstream log(clientLog);
        std::stringstream text;
        text << log.rdbuf();
        return text.str();
    }

    TempDir dir;
    std::string base = dir.Path() + "\\Base";
    std::string database = base + "\\MAIN.fdb";
    std::string clientLog = dir.Path() + "\\client.log";
};

TEST_F(Win32WindowRun, WholeRunsThroughTheWindow)
{
    const std::wstring saving = W("blue Сохранение оригинального файла БД (*.fdb -> *.bak)...");
    const std::wstring deleting = W("blue Удаление данных до выбранной даты...");
    const std::wstring backingUp = W("blue Создание бэкапа файла БД (*.fdb -> *.fdk)...");
    const std::wstring restoring = W("blue Восстановление из бэкапа файла БД (*.fdk -> *.fdb)...");
    const struct {
        const char* name;
        const char* failingCall;
        bool correction;
        std::vector<std::wstring> lines;
        bool correctionAfter;
        size_t gbakRuns;
    } cases[] = {
        {"done",
         nullptr,
         false,
         {saving, L"green ...Ok", deleting, L"green ...Ok", backingUp, L"green ...Ok", restoring, L"green ...Ok",
          L"none ", L"green Done!"},
         false,
         2},
        {"done with correction",
         nullptr,
         true,
         {saving, L"green ...Ok", deleting, L"green ...Ok", backingUp, L"green ...Ok", restoring, L"green ...Ok",
          L"none ", L"green Done!"},
         false,
         2},
        {"delete refused by the client",
         "isc_dsql_execute",
         true,
         {saving, L"green ...Ok", deleting, L"red An exception occured during delete data before date",
          W("red Неудача!"), W("red Оригинальный файл БД возвращён на место:"),
          L"red " + std::wstring(database.begin(), database.end())},
         true,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(clientLog.c_str());
        WriteFileBytes(database, "pretend database");
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_FAIL", c.failingCall);
        StandInGbak gbak(dir.Path() + "\\Firebird " + c.name, {"ok"});
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
        Form f;
        Choose(f, database);
        SendMessageW(f.form.CorrectBDCheckBox, BM_SETCHECK, c.correction ? BST_CHECKED : BST_UNCHECKED, 0);

        SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);

        EXPECT_EQ(c.gbakRuns == 2 ? DoneLines(f.form.TraceRichEdit) : ColouredLines(f.form.TraceRichEdit), c.lines);
        if (c.gbakRuns == 2) {
            // The stand-in client's counts, read back through the client's
            // reply as on a real engine.
            const std::vector<std::wstring> all = ColouredLines(f.form.TraceRichEdit);
            ASSERT_GE(all.size(), 3u);
            EXPECT_EQ(all[all.size() - 3], W("black Удалено строк: log — 1234, ERRORS_LOG — 56."));
        }
        EXPECT_EQ(f.form.CorrectionChecked(), c.correctionAfter);
        // The delete went down the client with the calendar's day as cut-off.
        const std::string client = ClientCalls();
        EXPECT_NE(client.find("isc_attach_database\nisc_database_info\n"), std::string::npos) << client;
        EXPECT_NE(client.find("statement DELETE FROM log WHERE log_time<'01.01.2000'"), std::string::npos) << client;
        const std::vector<StandInGbak::Call> calls = gbak.Calls();
        ASSERT_EQ(calls.size(), c.gbakRuns);
        if (c.gbakRuns == 2) {
            const bool fixed = calls[1].commandLine.find("-fix_fss_metadata win1251") != std::string::npos;
            EXPECT_EQ(fixed, c.correction);
        }
    }
}

TEST_F(Win32WindowRun, ARunAfterKeyboardChangesDeletesTheRowsBeforeTheDayTheLabelShows)
{
    StandInGbak gbak(dir.Path() + "\\Firebird", {"ok"});
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
    Form f;
    Choose(f, database);
    PressInCalendar(f.form, VK_RIGHT, Day(2000, 1, 2));
    PressInCalendar(f.form, VK_NEXT, Day(2000, 2, 2));
    const std::wstring label = Text(f.form.DateTimeLabel);
    EXPECT_EQ(label, L"02.02.2000");

    SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);

    EXPECT_EQ(DoneLines(f.form.TraceRichEdit).back(), L"green Done!");
    const std::string client = ClientCalls();
    EXPECT_NE(client.find("statement DELETE FROM log WHERE log_time<'" + std::string(label.begin(), label.end()) + "'"),
              std::string::npos)
        << client;
}

TEST_F(Win32WindowRun, ReturnAndKeypadEnterPressTheFocusedButton)
{
    const struct {
        const char* button;
        bool keypad;  // keypad Enter: Return with the extended-key bit
    } cases[] = {
        {"FileOpenButton", false},
        {"FileOpenButton", true},
        {"ClearDBButton", false},
        {"ClearDBButton", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + (c.keypad ? " keypad Enter" : " Return"));
        Form f;
        HWND button = f.form.Control(c.button);
        SetForegroundWindow(f.form.Handle);
        SetFocus(button);
        ASSERT_EQ(GetFocus(), button);
        const LPARAM key = 1 | (0x1C << 16) | (c.keypad ? 1 << 24 : 0);
        PostMessageW(button, WM_KEYDOWN, VK_RETURN, key);
        PostMessageW(button, WM_KEYUP, VK_RETURN, key | static_cast<LPARAM>(0xC0000000u));
        f.form.ProcessMessages();

        const bool fileButton = button == f.form.FileOpenButton;
        EXPECT_EQ(f.dialog->asked, fileButton ? 1 : 0);
        // A run with no file chosen: the safety copy's line and its failure.
        EXPECT_EQ(ColouredLines(f.form.TraceRichEdit).size(), fileButton ? 0u : 3u);
        EXPECT_EQ(GetFocus(), button);
    }
}

TEST_F(Win32WindowRun, ARunWithNoFileChosenFailsAtTheSafetyCopy)
{
    Form f;
    SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);
    const std::vector<std::wstring> lines = ColouredLines(f.form.TraceRichEdit);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], W("blue Сохранение оригинального файла БД (*.fdb -> *.bak)..."));
    EXPECT_EQ(lines[1], W("red Неудача..."));
    EXPECT_EQ(lines[2].rfind(W("red Причина: "), 0), 0u);
}

// Reads the first box the window's thread shows, from another thread, and
// presses `button` in it: OK for the error box, Yes or No for a question.
class ErrorBoxWatcher {
public:
    explicit ErrorBoxWatcher(WPARAM button = IDOK) : button_(button), watcher_([this] { Watch(); }) {}
    ~ErrorBoxWatcher() { Finish(); }

    // Stops watching; afterwards the fields hold what the box showed.
    void Finish()
    {
        stop_ = true;
        if (watcher_.joinable())
            watcher_.join();
    }

    std::wstring title, text;

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM found)
    {
        wchar_t name[32] = {};
        GetClassNameW(window, name, 32);
        if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    void Watch()
    {
        for (int tries = 0; tries < 2400 && !stop_; ++tries) {
            HWND box = nullptr;
            EnumThreadWindows(thread_, FindBox, reinterpret_cast<LPARAM>(&box));
            if (box != nullptr) {
                title = Text(box);
                text = Text(GetDlgItem(box, 0xFFFF));
                PostMessageW(box, WM_COMMAND, button_, 0);
                return;
            }
            Sleep(50);
        }
    }

    DWORD thread_ = GetCurrentThreadId();
    WPARAM button_;
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

TEST_F(Win32WindowRun, ARegistryValueOfTheWrongKindIsShownInTheErrorBox)
{
    TestInstancesKey key(StoredValue{REG_DWORD, std::string("\x01\x00\x00\x00", 4)});
    Form f;
    Choose(f, database);
    ErrorBoxWatcher box;

    SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);
    box.Finish();

    // The title rule keeps the first letter as it is; a text ending in a
    // quote (below '.') gets no full stop.
    EXPECT_EQ(box.title, L"window_tests");
    EXPECT_EQ(box.text, L"Invalid data type for 'DefaultInstance'");
    // The run ended at the read, before its safety copy: no line at all,
    // no copy, and the window stays.
    EXPECT_TRUE(ColouredLines(f.form.TraceRichEdit).empty());
    EXPECT_EQ(GetFileAttributesA((base + "\\MAIN.bak").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(IsWindow(f.form.Handle));
}

std::vector<std::string> FolderContents(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

TEST_F(Win32WindowRun, AskedToCloseDuringARunTheOperatorStopsItAtEachStepOrLetsItEnd)
{
    const std::string unchanged = "Файл БД не изменён:";
    const std::string putBack = "Оригинальный файл БД возвращён на место:";
    // The lines of the steps, each begun line followed by its "...Ok".
    const std::vector<std::wstring> stepLines = {
        W("blue Сохранение оригинального файла БД (*.fdb -> *.bak)..."),
        L"green ...Ok",
        W("blue Удаление данных до выбранной даты..."),
        L"green ...Ok",
        W("blue Создание бэкапа файла БД (*.fdb -> *.fdk)..."),
        L"green ...Ok",
        W("blue Восстановление из бэкапа файла БД (*.fdk -> *.fdb)..."),
    };
    const struct {
        const char* name;
        const char* stepCaption;  // how the caption starts during the step
        size_t stepsDone;         // the steps ended before this one
        bool stop;
        bool slowDelete;
        std::vector<std::string> gbakPlan;
        // The close comes once this many gbak runs have begun: the step's
        // own gbak is then under way, which a stop must kill.
        size_t gbakStartedAtClose;
        const char* lastLine;  // for a stop: what comes after the stop's line
        size_t gbakRuns;
        // The client answers a cancel as the local protocol to a server
        // does: the delete, 3 s long here, goes on to its end.
        bool cancelRefused = false;
    } cases[] = {
        // The copy outruns any timer: the close comes with its first
        // report, before its first piece is copied.
        {"stop at the copy", "Сохранение копии:", 0, true, false, {"ok"}, 0, unchanged.c_str(), 0},
        {"stop at the delete", "Удаление строк:", 1, true, true, {"ok"}, 0, putBack.c_str(), 0},
        {"stop at a delete the route cannot cancel", "Удаление строк:", 1, true, true, {"ok"}, 0, putBack.c_str(), 0,
         true},
        {"stop at the backup", "Бэкап:", 2, true, false, {"slow-ok 60000"}, 1, putBack.c_str(), 1},
        {"stop at the restore", "Восстановление:", 3, true, false, {"ok", "slow-ok 60000"}, 2, putBack.c_str(), 2},
        {"continue at the backup", "Бэкап:", 2, false, false, {"slow-ok 300"}, 1, nullptr, 2},
    };
    // Several of the copy's pieces, so that its first check comes well
    // after the stop.
    std::string content;
    for (int i = 0; content.size() < 4 * 1024 * 1024; ++i)
        content += "pretend database page " + std::to_string(i) + "\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(clientLog.c_str());
        WriteFileBytes(database, content);
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_SLOW_DELETE", c.slowDelete ? (c.cancelRefused ? "3000" : "1") : nullptr);
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_CANCEL_REFUSED", c.cancelRefused ? "1" : nullptr);
        StandInGbak gbak(dir.Path() + "\\Firebird " + c.name, c.gbakPlan);
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
        auto* taskbar = new RecordingTaskbar;
        Form f{std::unique_ptr<win32ui::TaskbarProgress>(taskbar)};
        f.form.EndsProgram = true;
        Choose(f, database);
        HWND window = f.form.Handle;
        int closes = 0;
        std::chrono::steady_clock::time_point closedAt;
        const std::wstring step = W(c.stepCaption);
        taskbar->onShow = [&](HWND shown, const std::wstring& caption) {
            // A slow delete is closed on once the stand-in client waits in
            // it, so that the stop must cancel a statement under way.
            const bool ready = gbak.Calls().size() >= c.gbakStartedAtClose &&
                               (!c.slowDelete || ClientCalls().find("isc_dsql_execute waits") != std::string::npos);
            if (closes == 0 && caption.rfind(step, 0) == 0 && ready) {
                ++closes;
                closedAt = std::chrono::steady_clock::now();
                PostMessageW(shown, WM_CLOSE, 0, 0);
            }
        };
        std::vector<std::wstring> lines;
        taskbar->onClear = [&] { lines = ColouredLines(f.form.TraceRichEdit); };
        ErrorBoxWatcher question(c.stop ? IDYES : IDNO);

        SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);
        question.Finish();

        // Timed from the close: a stop that waited for the step's end would
        // take the minute the stand-ins take, while the steps before it,
        // which a busy machine slows most, are left out.
        EXPECT_LT(std::chrono::steady_clock::now() - closedAt, std::chrono::seconds(30));
        EXPECT_EQ(closes, 1);
        EXPECT_EQ(question.title, W("Утилита очистки БД Quenor (версия 2.1)"));
        EXPECT_EQ(question.text, W(std::string(FormPresenter::StopQuestion).c_str()));
        EXPECT_EQ(gbak.Calls().size(), c.gbakRuns);
        if (c.stop) {
            std::vector<std::wstring> expected(stepLines.begin(), stepLines.begin() + 2 * c.stepsDone + 1);
            if (c.cancelRefused)
                expected.push_back(
                    W("blue Удаление нельзя прервать: остановка после его окончания."));
            expected.insert(expected.end(),
                            {W("red Очистка остановлена оператором."), W((std::string("red ") + c.lastLine).c_str()),
                             L"red " + std::wstring(database.begin(), database.end())});
            EXPECT_EQ(lines, expected);
            EXPECT_TRUE(ReadFileBytes(database) == content) << "the database file is not as before the run";
            // No safety copy, backup or journal is left beside it.
            EXPECT_EQ(FolderContents(base), (std::vector<std::string>{"MAIN.fdb"}));
        } else {
            EXPECT_EQ(LastDoneLine(lines), L"green Done!");
        }
        if (c.slowDelete && !c.cancelRefused) {
            const std::string client = ClientCalls();
            EXPECT_NE(client.find("fb_cancel_operation"), std::string::npos) << client;
            EXPECT_NE(client.find("isc_dsql_execute cancelled"), std::string::npos) << client;
        }
        if (c.cancelRefused) {
            // Asked once: the route gives the same answer every time. The
            // delete ran to its end, and its transaction was committed
            // before the original came back.
            const std::string client = ClientCalls();
            EXPECT_EQ(Occurrences(client, "fb_cancel_operation refused"), 1u) << client;
            EXPECT_EQ(client.find("isc_dsql_execute cancelled"), std::string::npos) << client;
            EXPECT_NE(client.find("isc_commit_transaction", client.find("isc_dsql_execute waits")), std::string::npos)
                << client;
        }
        // Either way the window goes once the run is over, and with it the
        // program's message loop.
        EXPECT_FALSE(IsWindow(window));
        MSG quit{};
        EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_SLOW_DELETE", nullptr);
        SetEnvironmentVariableA("QUENOR_FB_STAND_IN_CANCEL_REFUSED", nullptr);
    }
}

TEST_F(Win32WindowRun, DuringAStepTheWindowHearsTheRequestsToCloseAndLeavesOtherInputQueued)
{
    constexpr LPARAM altDown = 1 << 29;  // KF_ALTDOWN in the key's flags
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const struct {
        const char* name;
        std::vector<Posted> posted;  // to the form, when the backup begins
        bool asked;
    } cases[] = {
        {"WM_CLOSE", {{WM_CLOSE, 0, 0}}, true},
        {"the system menu's close", {{WM_SYSCOMMAND, SC_CLOSE, 0}}, true},
        // Pressed and released on the box: Windows tracks the button until
        // the release.
        {"the caption's close box", {{WM_NCLBUTTONDOWN, HTCLOSE, 0}, {WM_LBUTTONUP, 0, 0}}, true},
        {"Alt+F4",
         {{WM_SYSKEYDOWN, VK_MENU, altDown | (0x38 << 16) | 1}, {WM_SYSKEYDOWN, VK_F4, altDown | (0x3E << 16) | 1}},
         true},
        {"another system command", {{WM_SYSCOMMAND, SC_MINIMIZE, 0}}, false},
        {"another key with Alt", {{WM_SYSKEYDOWN, 'X', altDown | (0x2D << 16) | 1}}, false},
        {"a click in the window", {{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The backup lasts until five reports have found the input still
        // queued (or until a stop kills it), however slowly they come.
        StandInGbak gbak(dir.Path() + "\\Firebird " + c.name, {"await-ok", "ok"});
        TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
        auto* taskbar = new RecordingTaskbar;
        Form f{std::unique_ptr<win32ui::TaskbarProgress>(taskbar)};
        Choose(f, database);
        HWND window = f.form.Handle;
        bool posted = false;
        int reportsWithTheInputQueued = 0;
        const UINT last = c.posted.back().message;
        taskbar->onShow = [&](HWND shown, const std::wstring& caption) {
            if (caption.rfind(W("Бэкап:"), 0) != 0)
                return;
            if (!posted) {
                posted = true;
                for (const Posted& p : c.posted)
                    PostMessageW(shown, p.message, p.wParam, p.lParam);
                return;
            }
            MSG waiting{};
            if (PeekMessageW(&waiting, shown, last, last, PM_NOREMOVE) && waiting.wParam == c.posted.back().wParam &&
                ++reportsWithTheInputQueued == 5)
                std::ofstream(gbak.ProgramPath() + ".go").close();
        };
        std::vector<std::wstring> lines;
        taskbar->onClear = [&] { lines = ColouredLines(f.form.TraceRichEdit); };
        // A request heard is answered "stop": heard during the backup, it
        // stops the run there, and heard only at the run's next line, at
        // the restore.
        ErrorBoxWatcher question(c.asked ? IDYES : IDNO);

        SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);
        question.Finish();

        EXPECT_TRUE(posted);
        EXPECT_EQ(question.text, c.asked ? W(std::string(FormPresenter::StopQuestion).c_str()) : L"");
        if (c.asked) {
            ASSERT_GE(lines.size(), 4u);
            EXPECT_EQ(std::vector<std::wstring>(lines.end() - 4, lines.end()),
                      (std::vector<std::wstring>{W("blue Создание бэкапа файла БД (*.fdb -> *.fdk)..."),
                                                 W("red Очистка остановлена оператором."),
                                                 W("red Оригинальный файл БД возвращён на место:"),
                                                 L"red " + std::wstring(database.begin(), database.end())}));
            EXPECT_EQ(reportsWithTheInputQueued, 0);
        } else {
            EXPECT_EQ(LastDoneLine(lines), L"green Done!");
            // Left for the run's next line: the backup's second of reports
            // all find it still waiting.
            EXPECT_GE(reportsWithTheInputQueued, 5);
        }
        // A request heard closes the window once the run is over.
        EXPECT_EQ(IsWindow(window) != FALSE, !c.asked);
    }
}

TEST_F(Win32WindowRun, AWholeRunShowsEachStepInTheCaptionAndOnTheTaskbarButton)
{
    StandInGbak gbak(dir.Path() + "\\Firebird", {"slow-ok 400"});
    TestInstancesKey key(StringValue(REG_SZ, gbak.InstallationDirectory()));
    auto* taskbar = new RecordingTaskbar;
    Form f{std::unique_ptr<win32ui::TaskbarProgress>(taskbar)};
    Choose(f, database);

    SendMessageW(f.form.ClearDBButton, BM_CLICK, 0, 0);

    ASSERT_EQ(LastDoneLine(ColouredLines(f.form.TraceRichEdit)), L"green Done!");
    const std::wstring caption = W("Утилита очистки БД Quenor (версия 2.1)");
    EXPECT_EQ(Text(f.form.Handle), caption);
    const std::vector<std::wstring> steps = {W("Сохранение копии: "), W("Удаление строк: "), W("Бэкап: "),
                                             W("Восстановление: ")};
    ASSERT_FALSE(taskbar->calls.empty());
    // Cleared once, at the end, with the window's own caption back.
    const RecordingTaskbar::Call& end = taskbar->calls.back();
    EXPECT_TRUE(end.cleared);
    EXPECT_EQ(end.caption, caption);
    std::vector<std::wstring> seen;
    std::optional<int> lastPercent;
    for (size_t i = 0; i + 1 < taskbar->calls.size(); ++i) {
        const RecordingTaskbar::Call& call = taskbar->calls[i];
        SCOPED_TRACE(std::string(call.caption.begin(), call.caption.end()));
        ASSERT_FALSE(call.cleared);
        // The progress first, then the window's own caption.
        EXPECT_EQ(call.caption.size() > caption.size() ? call.caption.substr(call.caption.size() - caption.size())
                                                       : std::wstring(),
                  caption);
        size_t step = 0;
        while (step < steps.size() && call.caption.rfind(steps[step], 0) != 0)
            ++step;
        ASSERT_LT(step, steps.size());
        if (seen.empty() || seen.back() != steps[step]) {
            seen.push_back(steps[step]);
            lastPercent.reset();
        }
        // The button shows the share the caption shows, or busy where the
        // caption shows none.
        const size_t mark = call.caption.find(L'%');
        if (mark == std::wstring::npos) {
            EXPECT_FALSE(call.percent);
        } else {
            const std::wstring number = call.caption.substr(steps[step].size(), mark - steps[step].size());
            ASSERT_TRUE(call.percent);
            EXPECT_EQ(std::to_wstring(*call.percent), number);
            EXPECT_LE(*call.percent, 99);
            if (lastPercent) {
                EXPECT_GE(*call.percent, *lastPercent);
            }
            lastPercent = call.percent;
        }
    }
    EXPECT_EQ(seen, steps);
}

TEST(Win32Program, StartsShowsItsWindowAndEndsWithExitCodeZeroWhenClosed)
{
    const std::string program = TestProgramFolder() + "quenor-cleaner.exe";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> version(size);
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + program + "\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    HWND window = nullptr;
    const std::wstring caption = W("Утилита очистки БД Quenor (версия 2.1)");
    for (int tries = 0; tries < 1200 && window == nullptr; ++tries) {
        Sleep(50);
        window = FindWindowW(L"TMainForm", caption.c_str());
    }
    ASSERT_NE(window, nullptr);
    for (int tries = 0; tries < 1200 && !IsWindowVisible(window); ++tries)
        Sleep(50);
    EXPECT_TRUE(IsWindowVisible(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
