#include "base/LogFormat.h"

#include <charconv>
#include <cmath>

namespace LogFormat {

namespace {

template <typename T>
std::string shortest(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

}

std::string boolean(bool value)
{
    return value ? "true" : "false";
}

std::string number(double value)
{
    return shortest(value);
}

std::string number(float value)
{
    return shortest(value);
}

}
