#pragma once

#include <optional>
#include <string>
#include <vector>

// What the desktop says about the selected keyboard input source. Each
// property may be missing.
struct InputSource {
    // "English (US)"
    std::optional<std::string> localizedName;
    // "xkb:us"
    std::optional<std::string> identifier;
    // Language tags the source types, most relevant first: "en", "ru", "yue".
    std::optional<std::vector<std::string>> languages;
};
