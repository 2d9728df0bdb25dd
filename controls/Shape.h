// An outline shape on a control's surface (a rectangle border), geometry in twips.
#pragma once

#include <cstdint>

namespace nl {

class Shape {
public:
    enum class Kind { Rectangle, Square, Oval, Circle, RoundedRectangle, RoundedSquare };

    Kind Form = Kind::Rectangle;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint32_t BorderColor = 0;

    void Move(std::int32_t left, std::int32_t top) {
        Left = left;
        Top = top;
    }
};

}  // namespace nl
