#pragma once

#include "platform/graphics/cgimage/CFBase.h"

// A font as drawing code asks for it: the desktop's user-interface face,
// regular or bold, at a size in points. The face behind it, and the faces
// that stand in for scripts it lacks (Cyrillic, CJK), are the platform's
// choice.
class Font {
public:
    static Font systemFont(CGFloat pointSize) { return Font(pointSize, false); }
    static Font boldSystemFont(CGFloat pointSize) { return Font(pointSize, true); }

    CGFloat pointSize() const { return pointSize_; }
    bool isBold() const { return bold_; }

    friend bool operator==(const Font&, const Font&) = default;

private:
    Font(CGFloat pointSize, bool bold) : pointSize_(pointSize), bold_(bold) {}

    CGFloat pointSize_;
    bool bold_;
};
