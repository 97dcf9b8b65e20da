#pragma once

#include "platform/provider/WindowServerFunctions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

// How the simulated window server writes a call's arguments into its call
// log, which tests read back: numbers as the program's own log writes them.
namespace SimCallText {

template <typename Float>
inline std::string number(Float value)
{
    std::array<char, 32> buffer{};
    auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    std::string text(buffer.data(), end);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

inline std::string boolean(bool value)
{
    return value ? "true" : "false";
}

inline std::string nameText(const char* name)
{
    return name ? name : "(null)";
}

inline std::string sizeText(CGSize size)
{
    return number(size.width) + "x" + number(size.height);
}

inline std::string pointText(CGPoint point)
{
    return "(" + number(point.x) + "," + number(point.y) + ")";
}

}
