// Plays the operator for scripts/screenshot-windows.sh: starts the real
// quenor-cleaner.exe named by argv[1], chooses the database argv[2] through
// the program's own open-file dialog, turns the calendar to March 2000 and
// clicks the 15th, presses "Очистить" and waits for "Done!" or, with argv[3]
// "progress", for the backup to have shown its progress in the caption for
// a few seconds (the script's gbak then takes a minute). Then prints the
// window's rectangle on the screen as WIDTHxHEIGHT+LEFT+TOP, for the capture,
// and leaves the program running; the script ends it.
//
// Everything goes through messages to the program's windows, as the clicks
// and keys of an operator would arrive, so the program is the one that ships,
// with no test seam. The calendar's hit test needs its answer in the
// program's own memory, hence the buffer allocated there.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::wstring Wide(const char* text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "screenshot driver: %s\n", what);
    std::exit(1);
}

template <class Condition>
bool WaitFor(Condition condition, int milliseconds = 20000)
{
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (condition())
            return true;
        Sleep(50);
    }
    return condition();
}

// Asked of the program's thread, which may be busy for a moment; the timeout
// keeps a stuck program from stopping the script.
std::wstring Text(HWND window)
{
    wchar_t text[4096] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, &ignored);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct ChildSearch {
    const wchar_t* className;
    const wchar_t* text;
    HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<ChildSearch*>(data);
    // Class names are compared as Windows compares them, ignoring case.
    if (_wcsicmp(ClassOf(window).c_str(), search->className) == 0 && (search->text == nullptr || Text(window) == search->text)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindChild(HWND parent, const wchar_t* className, const wchar_t* text = nullptr)
{
    ChildSearch search{className, text};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        std::fprintf(stderr, "screenshot driver: no %ls control%s%ls in the window\n", className,
                     text != nullptr ? " " : "", text != nullptr ? text : L"");
        std::exit(1);
    }
    return search.found;
}

struct TopSearch {
    const wchar_t* className;
    HWND found = nullptr;
};

BOOL CALLBACK MatchTop(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<TopSearch*>(data);
    if (ClassOf(window) == search->className && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindowOf(DWORD thread, const wchar_t* className)
{
    TopSearch search{className};
    EnumThreadWindows(thread, MatchTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A press and release of the left button at a point of the window's client
// area.
void Click(HWND window, POINT at)
{
    const LPARAM where = MAKELPARAM(at.x, at.y);
    SendMessageW(window, WM_MOUSEMOVE, 0, where);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(window, WM_LBUTTONUP, 0, where);
}

// The calendar's hit test, answered in a buffer inside the program.
class CalendarProbe {
public:
    CalendarProbe(HANDLE process, HWND calendar) : process_(process), calendar_(calendar)
    {
        remote_ = VirtualAllocEx(process_, nullptr, sizeof(MCHITTESTINFO), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (remote_ == nullptr)
            Fail("no memory in the program for the calendar's hit test");
    }
    ~CalendarProbe() { VirtualFreeEx(process_, remote_, 0, MEM_RELEASE); }
    CalendarProbe(const CalendarProbe&) = delete;
    CalendarProbe& operator=(const CalendarProbe&) = delete;

    MCHITTESTINFO At(POINT point)
    {
        MCHITTESTINFO hit{};
        hit.cbSize = MCHITTESTINFO_V1_SIZE;
        hit.pt = point;
        SIZE_T moved = 0;
        WriteProcessMemory(process_, remote_, &hit, sizeof hit, &moved);
        SendMessageW(calendar_, MCM_HITTEST, 0, reinterpret_cast<LPARAM>(remote_));
        ReadProcessMemory(process_, remote_, &hit, sizeof hit, &moved);
        return hit;
    }

    // The middle of the area the hit test names `what` (and, for a day, that
    // day of the month shown), as an operator aims at the middle of a cell.
    std::optional<POINT> Find(UINT what, WORD year = 0, WORD month = 0, WORD day = 0)
    {
        RECT client{};
        GetClientRect(calendar_, &client);
        long left = client.right, top = client.bottom, right = -1, bottom = -1;
        // Every 4th pixel: a day's cell and an arrow are far wider, and each
        // probe is a round trip to the program.
        for (long y = 0; y < client.bottom; y += 4)
            for (long x = 0; x < client.right; x += 4) {
                const MCHITTESTINFO hit = At({x, y});
                if (hit.uHit != what)
                    continue;
                if (day != 0 && (hit.st.wYear != year || hit.st.wMonth != month || hit.st.wDay != day))
                    continue;
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        if (right < 0)
            return std::nullopt;
        return POINT{(left + right) / 2, (top + bottom) / 2};
    }

    // The size the calendar needs to show a whole month.
    SIZE Needed()
    {
        RECT needed{};
        SIZE_T moved = 0;
        SendMessageW(calendar_, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(remote_));
        ReadProcessMemory(process_, remote_, &needed, sizeof needed, &moved);
        return {needed.right - needed.left, needed.bottom - needed.top};
    }

private:
    HANDLE process_;
    HWND calendar_;
    void* remote_ = nullptr;
};

}  // namespace

int main(int argc, char* argv[])
{
    const bool duringBackup = argc == 4 && std::string(argv[3]) == "progress";
    if (argc != 3 && !duringBackup) {
        std::fprintf(stderr, "usage: %s PROGRAM.exe DATABASE.fdb [progress]\n", argv[0]);
        return 2;
    }
    const std::wstring database = Wide(argv[2]);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &program))
        Fail("the program could not be started");
    const DWORD thread = program.dwThreadId;

    HWND form = nullptr;
    if (!WaitFor([&] { return (form = VisibleWindowOf(thread, L"TMainForm")) != nullptr; }))
        Fail("the window did not appear");
    WaitForInputIdle(program.hProcess, 10000);
    HWND fileEdit = FindChild(form, L"Edit");
    HWND fileButton = FindChild(form, L"Button", L"...");
    HWND clearButton = FindChild(form, L"Button", L"Очистить");
    HWND calendar = FindChild(form, L"SysMonthCal32");
    HWND dayLabel = FindChild(form, L"Static", L"01.01.2000");
    HWND trace = FindChild(form, L"RICHEDIT50W");

    // "...", then the name typed into the dialog and "Открыть". Posted: the
    // dialog holds the program's thread until it closes.
    PostMessageW(fileButton, BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = VisibleWindowOf(thread, L"#32770")) != nullptr; }))
        Fail("the open-file dialog did not appear");
    constexpr int FileNameBox = 0x47c;  // cmb13, the dialog's file name
    HWND nameBox = GetDlgItem(dialog, FileNameBox);
    if (nameBox == nullptr)
        nameBox = FindChild(dialog, L"Edit");
    SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(database.c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    if (!WaitFor([&] { return Text(fileEdit) == database; }))
        Fail("the chosen file did not reach the window");

    CalendarProbe probe(program.hProcess, calendar);
    // Told, not hidden: the picture would show the calendar cut off.
    RECT shown{};
    GetClientRect(calendar, &shown);
    const SIZE needed = probe.Needed();
    if (needed.cx > shown.right || needed.cy > shown.bottom)
        std::fprintf(stderr, "screenshot driver: the calendar needs %ldx%ld px and has %ldx%ld\n", needed.cx,
                     needed.cy, shown.right, shown.bottom);

    // Two months on with the title's arrow, then the 15th.
    for (int month = 0; month < 2; ++month) {
        const std::optional<POINT> next = probe.Find(MCHT_TITLEBTNNEXT);
        if (!next)
            Fail("the calendar shows no next-month arrow");
        Click(calendar, *next);
    }
    const std::optional<POINT> day = probe.Find(MCHT_CALENDARDATE, 2000, 3, 15);
    if (!day)
        Fail("the calendar does not show 15 March 2000");
    Click(calendar, *day);
    if (!WaitFor([&] { return Text(dayLabel) == L"15.03.2000"; }, 5000))
        Fail("the day label does not show 15.03.2000");

    PostMessageW(clearButton, BM_CLICK, 0, 0);
    if (duringBackup) {
        // The window answers WM_GETTEXT while the run waits for gbak.
        if (!WaitFor([&] { return Text(form).rfind(L"Бэкап:", 0) == 0; }, 60000))
            Fail("the caption did not show the backup's progress");
        // A few seconds of it, as an operator would see it.
        Sleep(2500);
    } else if (!WaitFor([&] { return Text(trace).find(L"Done!") != std::wstring::npos; }, 60000)) {
        Fail("the run did not end with Done!");
    }

    // Answered once the program's thread is back in its message loop (or,
    // during the backup, in the run's own pumping), with its painting done.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored);
    // Wine hands the window's pixels to the X server a moment later.
    Sleep(500);

    RECT frame{};
    GetWindowRect(form, &frame);
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
    std::fflush(stdout);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    return 0;
}
