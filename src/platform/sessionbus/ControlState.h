#pragma once

#include <string>

// What the running program shows of itself on the session bus: the live
// keyboard language, the badge style and whether the cursors are mirrored.
struct ControlState {
    std::string languageCode;
    std::string badgeText;
    std::string languageName;
    std::string sourceID;
    std::string style;
    bool leftHanded = false;

    friend bool operator==(const ControlState&, const ControlState&) = default;
};
