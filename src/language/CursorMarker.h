#pragma once

#include "platform/graphics/Color.h"

#include <optional>
#include <string>

// One badge as a style draws it: a disc of the given diameter (points) with an
// optional text inside and an outline, which is left out when borderWidth is
// 0 or less.
struct CursorMarker {
    std::optional<std::string> text;
    Color fillColor;
    Color textColor;
    Color borderColor;
    double diameter;
    double borderWidth;

    friend bool operator==(const CursorMarker&, const CursorMarker&) = default;
};
