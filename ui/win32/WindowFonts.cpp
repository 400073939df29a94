#include "ui/win32/WindowFonts.h"

#include <utility>

namespace win32ui {
namespace {

HFONT MakeFont(form::FontRole role, UINT dpi)
{
    // A negative height asks for the character height, a positive one for
    // the cell height.
    int height = -11;
    int weight = FW_NORMAL;
    DWORD charset = DEFAULT_CHARSET;
    switch (role) {
    case form::FontRole::Window:
        break;
    case form::FontRole::Bold:
        weight = FW_BOLD;
        break;
    case form::FontRole::LargeBold:
        height = 16;
        weight = FW_BOLD;
        break;
    case form::FontRole::TraceCyrillic:
        charset = RUSSIAN_CHARSET;
        break;
    }
    return CreateFontW(MulDiv(height, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI), 0, 0, 0, weight, FALSE, FALSE,
                       FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
}

}  // namespace

WindowFonts::WindowFonts(UINT dpi)
{
    for (int role = 0; role < form::FontRoleCount; ++role)
        fonts_[static_cast<std::size_t>(role)] = MakeFont(static_cast<form::FontRole>(role), dpi);
}

WindowFonts::~WindowFonts()
{
    Delete();
}

WindowFonts::WindowFonts(WindowFonts&& other) noexcept : fonts_(std::exchange(other.fonts_, {}))
{
}

WindowFonts& WindowFonts::operator=(WindowFonts&& other) noexcept
{
    if (this != &other) {
        Delete();
        fonts_ = std::exchange(other.fonts_, {});
    }
    return *this;
}

void WindowFonts::Delete()
{
    for (HFONT& font : fonts_) {
        if (font != nullptr)
            DeleteObject(font);
        font = nullptr;
    }
}

}  // namespace win32ui
