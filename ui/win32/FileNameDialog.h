#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Asks the operator for a file name. The window asks through this, so tests
// can answer in place of a dialog.
class FileNameDialog {
public:
    virtual ~FileNameDialog() = default;

    // `filter` in the form "Description|pattern[|Description|pattern...]";
    // `defaultExt` like "*.fdb". Empty when the operator cancels.
    virtual std::optional<std::wstring> Choose(HWND owner, const std::wstring& filter,
                                               const std::wstring& defaultExt) = 0;
};

// Windows' standard open-file dialog: accepts names of files that do not
// exist and offers the name chosen last time.
class OpenFileDialog : public FileNameDialog {
public:
    std::optional<std::wstring> Choose(HWND owner, const std::wstring& filter,
                                       const std::wstring& defaultExt) override;

private:
    std::wstring lastChosen_;
};
