#pragma once

#include <concepts>
#include <optional>
#include <string>

// How values read in log lines: booleans as true/false, floating point in its
// shortest round-trip form with a fractional part (32.0, 0.45, 1.08 for a
// 32-bit scale), an absent value as nil.
namespace LogFormat {

std::string boolean(bool value);
std::string number(double value);
std::string number(float value);

template <std::integral T>
    requires(!std::same_as<T, bool>)
std::string number(T value)
{
    return std::to_string(value);
}

template <typename T>
std::string optional(const std::optional<T>& value)
{
    if (!value)
        return "nil";
    if constexpr (std::is_same_v<T, bool>)
        return boolean(*value);
    else if constexpr (std::is_floating_point_v<T>)
        return number(*value);
    else
        return std::to_string(*value);
}

}
