#include "ui/FormDesign.h"

#include <array>
#include <stdexcept>
#include <string>

namespace form {
namespace {

constexpr std::array controls{
    Control{"Panel1", Kind::Panel, {8, 8, 566, 328}, akLeft | akTop | akRight | akBottom, "", FontRole::Window,
            NoTabOrder, false, true},
    Control{"FileNameLabeledEdit", Kind::Edit, {80, 16, 389, 21}, akLeft | akTop | akRight, "", FontRole::Bold, 0,
            true, true},
    // The edit's bound label: 10 px to the left of it, centred on it.
    Control{"FileNameLabeledEditLabel", Kind::EditLabel, {15, 20, 55, 13}, akLeft | akTop, "Файл БД :",
            FontRole::Bold, NoTabOrder, false, true},
    Control{"FileOpenButton", Kind::Button, {492, 14, 49, 25}, akTop | akRight, "...", FontRole::LargeBold, 1, true,
            true},
    Control{"CopyFromLabel", Kind::Label, {16, 64, 89, 13}, akLeft | akTop, "Копировать от:", FontRole::Bold,
            NoTabOrder, false, true},
    Control{"DateTimeLabel", Kind::Label, {128, 58, 113, 25}, akLeft | akTop, "", FontRole::LargeBold, NoTabOrder,
            false, true},
    Control{"SkipCheckBox", Kind::CheckBox, {267, 63, 97, 17}, akLeft | akTop, "пропустить", FontRole::Bold, 4, true,
            false},
    Control{"TraceRichEdit", Kind::RichEdit, {16, 104, 348, 160}, akLeft | akTop | akRight, "",
            FontRole::TraceCyrillic, 2, true, true},
    Control{"MonthCalendar", Kind::MonthCalendar, {370, 104, 191, 160}, akTop | akRight, "", FontRole::Window, 3,
            false, true},
    Control{"ClearDBButton", Kind::Button, {32, 275, 113, 35}, akLeft | akTop, "Очистить", FontRole::Bold, 5, true,
            true},
    Control{"CorrectBDCheckBox", Kind::CheckBox, {192, 285, 97, 17}, akLeft | akTop, "исправление", FontRole::Window,
            6, true, true},
};

struct Span {
    int start;
    int length;
};

Span Follow(int start, int length, int designedLength, int newLength, bool nearAnchored, bool farAnchored)
{
    const int farDistance = designedLength - (start + length);
    if (nearAnchored && farAnchored)
        return {start, newLength - farDistance - start};
    if (farAnchored)
        return {newLength - farDistance - length, length};
    return {start, length};
}

}  // namespace

std::span<const Control> Controls()
{
    return controls;
}

const Control& Find(std::string_view name)
{
    for (const Control& control : controls)
        if (control.name == name)
            return control;
    throw std::out_of_range("no control named " + std::string(name));
}

Size DesignedInnerArea()
{
    const Rect& panel = Find("Panel1").rect;
    return {panel.width - 2 * PanelFrame, panel.height - 2 * PanelFrame};
}

Rect Place(const Rect& designed, unsigned anchors, Size designedArea, Size area)
{
    const Span x = Follow(designed.left, designed.width, designedArea.width, area.width, anchors & akLeft,
                          anchors & akRight);
    const Span y = Follow(designed.top, designed.height, designedArea.height, area.height, anchors & akTop,
                          anchors & akBottom);
    return {x.start, y.start, x.length, y.length};
}

}  // namespace form
