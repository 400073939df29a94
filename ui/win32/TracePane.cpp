#include "ui/win32/TracePane.h"

#include <commctrl.h>
#include <richedit.h>

#include <cwchar>

namespace win32ui {
namespace {

LRESULT CALLBACK TracePaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    // Tab leaves the pane for the next control rather than typing a tab, as
    // in the Linux window.
    if (message == WM_GETDLGCODE) {
        const auto* pending = reinterpret_cast<const MSG*>(lParam);
        result &= ~DLGC_WANTTAB;
        if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_TAB)
            result &= ~(DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
    }
    return result;
}

}  // namespace

void SetUpTracePane(HWND pane)
{
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET | CFM_COLOR | CFM_BOLD | CFM_ITALIC;
    format.dwEffects = CFE_AUTOCOLOR;
    format.yHeight = 8 * 20;
    format.bCharSet = RUSSIAN_CHARSET;
    wcscpy(format.szFaceName, L"Tahoma");
    SendMessageW(pane, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    SendMessageW(pane, EM_SETZOOM, 0, 0);
    SendMessageW(pane, EM_SETEVENTMASK, 0, 0);
    SetWindowSubclass(pane, TracePaneProc, 1, 0);
}

void SetTypingColour(HWND pane, COLORREF colour)
{
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = colour;
    SendMessageW(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void AppendTraceLine(HWND pane, const std::wstring& text, COLORREF colour)
{
    // The pane ends its paragraphs with a lone CR.
    std::wstring line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            continue;
        line += text[i] == L'\n' ? L'\r' : text[i];
    }
    GETTEXTLENGTHEX lengthOf{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto length =
        static_cast<LONG>(SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthOf), 0));
    bool endsWithBreak = length == 0;
    if (length > 0) {
        wchar_t last[2] = {};
        TEXTRANGEW range{{length - 1, length}, last};
        SendMessageW(pane, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        endsWithBreak = last[0] == L'\r' || last[0] == L'\n';
    }
    line = endsWithBreak ? line + L'\r' : L'\r' + line;
    CHARRANGE end{length, length};
    SendMessageW(pane, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    // Moving the insertion point takes the colour of the text before it.
    SetTypingColour(pane, colour);
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

}  // namespace win32ui
