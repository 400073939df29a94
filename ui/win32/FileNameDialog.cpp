#include "ui/win32/FileNameDialog.h"

#include <commdlg.h>

#include <vector>

std::optional<std::wstring> OpenFileDialog::Choose(HWND owner, const std::wstring& filter,
                                                   const std::wstring& defaultExt)
{
    // The dialog wants pairs separated by NULs and ended by two.
    std::wstring filters = filter;
    for (wchar_t& c : filters)
        if (c == L'|')
            c = L'\0';
    filters.append(2, L'\0');
    // The dialog appends its default extension after a dot of its own.
    std::wstring extension = defaultExt;
    if (extension.starts_with(L"*."))
        extension.erase(0, 2);

    std::vector<wchar_t> name(32768, L'\0');
    lastChosen_.copy(name.data(), name.size() - 1);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog))
        return std::nullopt;
    lastChosen_ = name.data();
    return lastChosen_;
}
