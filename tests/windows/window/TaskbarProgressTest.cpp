// The taskbar button's progress against a taskbar list of the test's own:
// what reaches the list for each sequence of reports, and that a taskbar
// that cannot start costs nothing after the first try.
#include <windows.h>

#include <shobjidl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/win32/TaskbarProgress.h"

namespace {

// Writes down each progress call as "state <flag> <window>" or
// "value <completed>/<total> <window>", and counts its references.
class RecordingList : public ITaskbarList3 {
public:
    std::vector<std::string> calls;
    HRESULT initResult = S_OK;
    ULONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    HRESULT STDMETHODCALLTYPE HrInit() override { return initResult; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG completed, ULONGLONG total) override
    {
        calls.push_back("value " + std::to_string(completed) + "/" + std::to_string(total) + " " + Name(window));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG state) override
    {
        const char* flag = state == TBPF_NOPROGRESS      ? "none"
                           : state == TBPF_INDETERMINATE ? "busy"
                           : state == TBPF_NORMAL        ? "normal"
                                                         : "other";
        calls.push_back(std::string("state ") + flag + " " + Name(window));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return E_NOTIMPL; }

    static std::string Name(HWND window) { return window == First() ? "first" : "second"; }
    // Handles the list only passes on: no window is needed behind them.
    static HWND First() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x10)); }
    static HWND Second() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x20)); }
};

// One report to the progress: shown with or without a share, or cleared.
struct Report {
    bool clear;
    std::optional<int> percent;
    HWND window;
};

Report Share(int percent, HWND window = RecordingList::First())
{
    return {false, percent, window};
}
Report Busy(HWND window = RecordingList::First())
{
    return {false, std::nullopt, window};
}
Report Cleared(HWND window = RecordingList::First())
{
    return {true, std::nullopt, window};
}

TEST(Win32TaskbarProgress, PassesOnOnlyWhatChangesAndNothingWhereTheTaskbarCannotStart)
{
    const struct {
        const char* name;
        std::vector<Report> reports;
        HRESULT made;  // what making the list answers
        HRESULT init;  // what the list's HrInit answers
        std::vector<std::string> calls;
    } cases[] = {
        {"a share, repeated", {Share(5), Share(5), Share(5)}, S_OK, S_OK, {"state normal first", "value 5/100 first"}},
        {"a rising share",
         {Share(5), Share(6)},
         S_OK,
         S_OK,
         {"state normal first", "value 5/100 first", "value 6/100 first"}},
        {"busy, a share, busy again",
         {Busy(), Busy(), Share(3), Busy()},
         S_OK,
         S_OK,
         {"state busy first", "state normal first", "value 3/100 first", "state busy first"}},
        {"cleared once, asked twice",
         {Share(1), Cleared(), Cleared()},
         S_OK,
         S_OK,
         {"state normal first", "value 1/100 first", "state none first"}},
        {"another window",
         {Share(5), Share(5, RecordingList::Second())},
         S_OK,
         S_OK,
         {"state normal first", "value 5/100 first", "state normal second", "value 5/100 second"}},
        {"no taskbar list", {Share(5), Busy(), Cleared()}, REGDB_E_CLASSNOTREG, S_OK, {}},
        {"a taskbar that does not start", {Share(5), Busy(), Cleared()}, S_OK, E_FAIL, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingList list;
        list.initResult = c.init;
        int made = 0;
        {
            win32ui::ShellTaskbarProgress progress([&](ITaskbarList3** out) {
                ++made;
                if (FAILED(c.made))
                    return c.made;
                list.AddRef();
                *out = &list;
                return S_OK;
            });
            for (const Report& report : c.reports) {
                if (report.clear)
                    progress.Clear(report.window);
                else
                    progress.Show(report.window, report.percent);
            }
        }
        EXPECT_EQ(list.calls, c.calls);
        // Tried once, and the list's reference given back.
        EXPECT_EQ(made, 1);
        EXPECT_EQ(list.references, 1u);
    }
}

}  // namespace
