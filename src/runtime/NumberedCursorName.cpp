#include "runtime/NumberedCursorName.h"

#include "base/Text.h"

#include <algorithm>
#include <limits>

std::string numberedCursorName(std::int32_t number)
{
    return std::string(numberedCursorPrefix) + std::to_string(number);
}

std::optional<std::int32_t> numberInCursorName(std::string_view identifier)
{
    if (!startsWith(identifier, numberedCursorPrefix))
        return std::nullopt;
    std::string_view text = identifier;
    while (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    auto dot = text.rfind('.');
    std::string_view piece = dot == std::string_view::npos ? text : text.substr(dot + 1);
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty() || !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    constexpr std::int64_t largest = std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (char c : piece) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > largest + 1)
            return std::nullopt;
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > largest)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}
