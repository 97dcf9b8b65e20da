#include "platform/input/InputMethodLanguages.h"

#include "platform/input/Iso639.h"

#include <algorithm>
#include <cctype>

namespace InputMethodLanguages {

std::optional<std::vector<std::string>> fromTag(const std::string& tag)
{
    std::string normalized = tag;
    std::replace(normalized.begin(), normalized.end(), '_', '-');
    std::size_t baseEnd = std::min(normalized.find('-'), normalized.size());
    std::string base = normalized.substr(0, baseEnd);
    std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return std::tolower(c); });
    bool letters = std::all_of(base.begin(), base.end(), [](unsigned char c) { return c >= 'a' && c <= 'z'; });
    // IBus says "other" for engines of no particular language.
    if (base.size() < 2 || base.size() > 3 || !letters || base == "other")
        return std::nullopt;
    return std::vector<std::string>{Iso639::shortestCode(base) + normalized.substr(baseEnd)};
}

}
