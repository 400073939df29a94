#pragma once

#include <windows.h>

#include <array>

#include "ui/FormDesign.h"

namespace win32ui {

// The window's fonts at one DPI, one for each role of the control table:
// made together, deleted together when the object goes.
class WindowFonts {
public:
    explicit WindowFonts(UINT dpi);
    ~WindowFonts();
    WindowFonts(WindowFonts&& other) noexcept;
    WindowFonts& operator=(WindowFonts&& other) noexcept;
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;

    HFONT For(form::FontRole role) const { return fonts_[static_cast<std::size_t>(role)]; }

private:
    void Delete();

    std::array<HFONT, form::FontRoleCount> fonts_{};
};

}  // namespace win32ui
