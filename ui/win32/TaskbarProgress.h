#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <functional>
#include <memory>
#include <optional>

namespace win32ui {

// The progress bar on a window's taskbar button. The window goes through
// this, so tests can record what it shows.
class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;

    // `percent` of 100 on the button of `window`, or busy with no share known.
    virtual void Show(HWND window, std::optional<int> percent) = 0;
    // Takes the progress off the button.
    virtual void Clear(HWND window) = 0;
};

// The taskbar's own, through ITaskbarList3: made at its first use, on the
// window's thread, and quietly nothing where COM or the taskbar is missing.
class ShellTaskbarProgress : public TaskbarProgress {
public:
    // Makes the taskbar's list, with a reference for the caller.
    using ListMaker = std::function<HRESULT(ITaskbarList3** list)>;

    // `makeList`: CLSID_TaskbarList's when none is given.
    explicit ShellTaskbarProgress(ListMaker makeList = nullptr);
    ~ShellTaskbarProgress() override;
    ShellTaskbarProgress(const ShellTaskbarProgress&) = delete;
    ShellTaskbarProgress& operator=(const ShellTaskbarProgress&) = delete;

    void Show(HWND window, std::optional<int> percent) override;
    void Clear(HWND window) override;

private:
    struct Releaser {
        void operator()(ITaskbarList3* list) const { list->Release(); }
    };

    void Set(HWND window, TBPFLAG state, int percent);
    ITaskbarList3* List();

    ListMaker makeList_;
    bool tried_ = false;
    // Whether this object initialised COM on its thread, and so ends it.
    bool comStarted_ = false;
    std::unique_ptr<ITaskbarList3, Releaser> list_;
    HWND window_ = nullptr;
    TBPFLAG state_ = TBPF_NOPROGRESS;
    int percent_ = -1;
};

}  // namespace win32ui
