#pragma once

#include "platform/graphics/Color.h"

#include <optional>
#include <string>

// How the status item's icon shows the current badge: a disc in the style's
// colours with the language's letters, or a plain dot when there are none.
struct StatusBadge {
    std::optional<std::string> text;
    Color fillColor;
    Color textColor;
    Color borderColor;

    friend bool operator==(const StatusBadge&, const StatusBadge&) = default;
};
