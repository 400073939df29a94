#pragma once

// The main window as one table that both front ends build from, and the one
// rule that moves and stretches a control when its container is resized. No
// window toolkit is involved here. Sizes are pixels at 96 dpi.

#include <span>
#include <string_view>

namespace form {

// Edges a control keeps its distance to when its container is resized.
enum Anchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

enum class Kind { Panel, Edit, EditLabel, Button, Label, CheckBox, RichEdit, MonthCalendar };

// Which face a control's text is drawn in.
enum class FontRole {
    Window,          // Tahoma, character height 11 px
    Bold,            // the same, bold
    LargeBold,       // Tahoma bold with a 16 px character cell
    TraceCyrillic,   // the window font with the Cyrillic character set
};
// How many roles there are: one font of each per window.
inline constexpr int FontRoleCount = static_cast<int>(FontRole::TraceCyrillic) + 1;

inline constexpr int NoTabOrder = -1;

struct Control {
    std::string_view name;
    Kind kind;
    // Panel1 in the window's client area; every other control in the
    // panel's inner area.
    Rect rect;
    unsigned anchors;
    std::string_view text;  // UTF-8
    FontRole font;
    int tabOrder;           // NoTabOrder for controls that take no focus
    bool tabStop;
    bool visible;
};

inline constexpr std::string_view Caption = "Утилита очистки БД Quenor (версия 2.1)";
inline constexpr Size ClientSize{582, 344};
// The etched frame of Panel1 on each side: a sunken and a raised line.
inline constexpr int PanelFrame = 2;

// Every control of the window, Panel1 first.
std::span<const Control> Controls();
// The control of that name; throws std::out_of_range for an unknown name.
const Control& Find(std::string_view name);
// The panel's inner area at the designed size.
Size DesignedInnerArea();

// Where a control designed at `designed` in an area of `designedArea` stands
// in an area of `area`: an axis anchored at both ends keeps both distances
// and stretches; anchored only at its far end it keeps that distance and
// moves; otherwise it stays where it was designed.
Rect Place(const Rect& designed, unsigned anchors, Size designedArea, Size area);

}  // namespace form
