#include "providers/sim/SimFailures.h"

std::string_view SimFailures::withoutPrefix(std::string_view function)
{
    if (function.starts_with("CGS") || function.starts_with("SLS"))
        function.remove_prefix(3);
    return function;
}

void SimFailures::set(std::string_view function, std::optional<std::string> argument, CGSError status)
{
    std::string key(withoutPrefix(function));
    if (argument) {
        auto scoped = std::make_pair(key, *argument);
        if (status == 0)
            perCursor_.erase(scoped);
        else
            perCursor_[scoped] = status;
    } else if (status == 0) {
        everyCall_.erase(key);
    } else {
        everyCall_[key] = status;
    }
}

void SimFailures::clear()
{
    everyCall_.clear();
    perCursor_.clear();
}

std::optional<CGSError> SimFailures::find(std::string_view function, std::string_view argument) const
{
    std::string_view key = withoutPrefix(function);
    auto scoped = perCursor_.find(std::make_pair(std::string(key), std::string(argument)));
    if (scoped != perCursor_.end())
        return scoped->second;
    auto whole = everyCall_.find(key);
    if (whole != everyCall_.end())
        return whole->second;
    return std::nullopt;
}
