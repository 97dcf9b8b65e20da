#pragma once

#include "CursorCapture.h"

#include <string>
#include <vector>

// The captures side by side, each enlarged without smoothing on a checked
// background (so transparency and every pixel of the badge show) and named
// underneath.
class ContactSheet {
public:
    void add(std::string label, CursorCapture capture);
    bool write(const std::string& path) const;

private:
    struct Entry {
        std::string label;
        CursorCapture capture;
    };
    std::vector<Entry> entries_;
};
