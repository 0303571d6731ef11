#pragma once
// The parameter band's layout from the setting rows: each control's box and each row label's
// box, and the pairs of them that overlap. The label widths come from a table of the window's
// font (Tahoma, 13 pixels); the window test measures the drawn text against it.
#include "foundation/parameters/parameter_control.h"
#include "foundation/parameters/parameter_table.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qtest {

inline constexpr std::int32_t labelHeight = 16;

// The advance in pixels of each printable ASCII character (from the blank to '~') in the
// window's font as Wine draws it here; a label's width is the sum (the font is not kerned).
inline constexpr std::int32_t labelFontAdvances[95] = {
    4,  5, 6, 11, 8,  12, 10, 4,  5,  5, 7, 11, 4, 5,  4,  4,  8, 8,  8, 8, 8, 8,  8, 8,  8, 8, 4, 4, 11, 11, 11, 7,
    13, 9, 9, 9,  10, 8,  7,  10, 10, 4, 4, 9,  7, 11, 10, 10, 8, 10, 9, 8, 8, 10, 9, 13, 9, 8, 9, 5, 4,  5,  11, 7,
    7,  8, 8, 7,  8,  8,  5,  8,  8,  4, 4, 8,  4, 13, 8,  8,  8, 8,  5, 7, 5, 8,  8, 11, 8, 8, 7, 8, 4,  8,  11,
};

// The drawn width in pixels of a label in the window's font; a character outside the table
// counts as the widest.
inline std::int32_t estimatedLabelWidth(std::string_view text)
{
    std::int32_t width = 0;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        width += code >= 32 && code < 127 ? labelFontAdvances[code - 32] : 13;
    }
    return width;
}

struct NamedBox {
    std::string name;
    qtr::ClientBox box;
};

inline std::string controlName(const qtr::ParameterControl& control)
{
    const auto* parameter = dynamic_cast<const qtr::Parameter*>(&control);
    return parameter != nullptr ? parameter->name : std::to_string(control.id);
}

// Every control of the rows with its box, and every label of a row with its box for the given
// width of its text.
inline std::vector<NamedBox>
bandLayout(const std::function<std::int32_t(std::string_view)>& labelWidth = estimatedLabelWidth)
{
    std::vector<NamedBox> boxes;
    for (const qtr::ParameterControl* control : qtr::allControls()) {
        const qtr::ControlPlace& place = control->place();
        boxes.push_back({controlName(*control), qtr::controlBox(*control)});
        if (place.label != nullptr)
            boxes.push_back({"label \"" + std::string(place.label) + "\"",
                             {place.labelX, place.y, place.labelX + labelWidth(place.label), place.y + labelHeight}});
    }
    return boxes;
}

inline bool overlap(const qtr::ClientBox& a, const qtr::ClientBox& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// "A / B" for every two boxes that share a pixel.
inline std::vector<std::string> overlaps(const std::vector<NamedBox>& boxes)
{
    std::vector<std::string> found;
    for (std::size_t i = 0; i < boxes.size(); ++i)
        for (std::size_t k = i + 1; k < boxes.size(); ++k)
            if (overlap(boxes[i].box, boxes[k].box)) found.push_back(boxes[i].name + " / " + boxes[k].name);
    return found;
}

} // namespace qtest
