#pragma once

#include <optional>
#include <string>

// Remembers the keyboard language last observed, to tell real layout changes
// from repeated observations of the same one.
class LayoutActivityTracker {
public:
    // True when code differs from the previous observation; the first
    // observation of a run is not a change.
    bool observe(const std::string& code);

private:
    std::optional<std::string> previousCode;
};
