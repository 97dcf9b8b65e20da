#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <optional>
#include <string>

// One of the desktop's own cursors: the arrow, the text I-beam or the
// pointing hand, as the user's X cursor theme draws it (XCURSOR_THEME, else
// the "default" theme, at XCURSOR_SIZE, else 24 pixels), or as built-in
// drawings when no theme has it. Sizes and hot spots are in the points of
// ThemeCursorFrame, as the x11 provider reports the live cursors: the
// theme's image in a square of at least 32 points, at its top left, with
// the theme's nominal size over 24 pixels per point.
class StockCursor {
public:
    enum class Shape { arrow, iBeam, pointingHand };

    // Looks the theme up afresh, so a changed theme is seen on the next call.
    static StockCursor load(Shape shape);

    Shape shape() const { return shape_; }
    CGSize size() const { return size_; }
    // Measured from the top-left corner of the image, in points.
    CGPoint hotSpot() const { return hotSpot_; }
    bool isFromTheme() const { return cursorName_.has_value(); }

    // The image as the live cursor shows it, at the user's pixels per point.
    CFRef<CGImageRef> image() const;
    // The image that best serves drawing at scale pixels per point: the
    // user's own size at the user's pixels per point, else the theme's size
    // nearest to 24 pixels times scale (its largest for large scales), or the
    // built-in drawing rendered at exactly that scale. Draw it into the
    // cursor's size in points. Null when memory runs out.
    CFRef<CGImageRef> image(CGFloat scale) const;

private:
    StockCursor(Shape shape, std::optional<std::string> theme, int nominalSize);

    Shape shape_;
    std::optional<std::string> theme_;
    // The theme's name for the shape that was found; none for the drawings.
    std::optional<std::string> cursorName_;
    int nominalSize_;
    // Of the image the theme shows at the user's size.
    int pixelsPerPoint_ = 1;
    CGSize size_{};
    CGPoint hotSpot_{};
    CFRef<CGImageRef> image_;
};
