#pragma once

#include <functional>
#include <string>
#include <vector>

// What the methods of the control interface do: the program hands in its
// menu's own actions, so a call and a click take the same path.
struct ControlActions {
    std::function<void()> quit;
    std::function<void()> reapply;
    // Whether the system cursors are back.
    std::function<bool()> restore;
    // Only ever given one of `styles`.
    std::function<void(const std::string& style)> setStyle;
    std::function<void(bool leftHanded)> setLeftHanded;
    std::function<void()> checkForUpdates;
    // The styles' raw values, in the menu's order.
    std::vector<std::string> styles;
};
