#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbered cursors go by "com.apple.cursor." and their number, e.g.
// "com.apple.cursor.13".
inline constexpr std::string_view numberedCursorPrefix = "com.apple.cursor.";

std::string numberedCursorName(std::int32_t number);

// The number a numbered cursor's name stands for: the last non-empty piece
// between dots, a signed 32-bit decimal with an optional sign. None for any
// other name.
std::optional<std::int32_t> numberInCursorName(std::string_view identifier);
