// A text label on a control's surface: caption, geometry in twips and colours.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

class Label {
public:
    std::string Caption;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 1200;
    std::int32_t Height = 195;  // one line of the 8-point dialog font
    std::uint32_t ForeColor = 0x80000012;  // button text
    bool Transparent = true;

    void Move(std::int32_t left, std::int32_t top) {
        Left = left;
        Top = top;
    }
};

}  // namespace nl
