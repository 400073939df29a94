#include "ui/win32/TaskbarProgress.h"

#include <utility>

namespace win32ui {

ShellTaskbarProgress::ShellTaskbarProgress(ListMaker makeList) : makeList_(std::move(makeList))
{
    if (!makeList_)
        makeList_ = [](ITaskbarList3** list) {
            return CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(list));
        };
}

ShellTaskbarProgress::~ShellTaskbarProgress()
{
    // The list belongs to the apartment and goes before it.
    list_.reset();
    if (comStarted_)
        CoUninitialize();
}

void ShellTaskbarProgress::Show(HWND window, std::optional<int> percent)
{
    Set(window, percent ? TBPF_NORMAL : TBPF_INDETERMINATE, percent.value_or(-1));
}

void ShellTaskbarProgress::Clear(HWND window)
{
    Set(window, TBPF_NOPROGRESS, -1);
}

void ShellTaskbarProgress::Set(HWND window, TBPFLAG state, int percent)
{
    // A run reports ten times a second for hours; the taskbar hears only
    // what changes.
    if (window == window_ && state == state_ && percent == percent_)
        return;
    const bool newWindow = window != window_;
    ITaskbarList3* list = window != nullptr ? List() : nullptr;
    if (list == nullptr)
        return;
    if (newWindow || state != state_)
        list->SetProgressState(window, state);
    if (state == TBPF_NORMAL)
        list->SetProgressValue(window, static_cast<ULONGLONG>(percent), 100);
    window_ = window;
    state_ = state;
    percent_ = percent;
}

ITaskbarList3* ShellTaskbarProgress::List()
{
    if (tried_)
        return list_.get();
    tried_ = true;
    // The window's thread may have COM already, in either apartment: the
    // list works in both, and only an apartment begun here is ended here.
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comStarted_ = SUCCEEDED(started);
    if (FAILED(started) && started != RPC_E_CHANGED_MODE)
        return nullptr;
    ITaskbarList3* list = nullptr;
    if (FAILED(makeList_(&list)) || list == nullptr)
        return nullptr;
    list_.reset(list);
    // Without a taskbar (no shell, or Wine's stub) the list refuses to start.
    if (FAILED(list->HrInit()))
        list_.reset();
    return list_.get();
}

}  // namespace win32ui
