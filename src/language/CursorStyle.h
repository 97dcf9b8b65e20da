#pragma once

#include "language/CursorMarker.h"
#include "language/InputLanguage.h"

#include <array>
#include <optional>
#include <string_view>

// How the language is shown on the cursor. The order of allCursorStyles is the
// order of the style menu.
enum class CursorStyle {
    system,
    letterBadge,
    dotBadge,
    highContrast,
};

inline constexpr std::array<CursorStyle, 4> allCursorStyles{CursorStyle::system, CursorStyle::letterBadge,
                                                            CursorStyle::dotBadge, CursorStyle::highContrast};

// The value stored in the preferences: the case name.
std::string_view rawValue(CursorStyle style);

// The style whose raw value is exactly this text (case matters), if any.
std::optional<CursorStyle> cursorStyle(std::string_view rawValue);

// The entry of the style menu: "System cursor", "Letter badge", ...
std::string_view menuTitle(CursorStyle style);

// The badge this style draws for the language; none for the system style,
// which leaves the system cursor undecorated.
std::optional<CursorMarker> marker(CursorStyle style, const InputLanguage& language);
