#pragma once

#include "platform/graphics/cgimage/CFArray.h"
#include "platform/graphics/cgimage/CGImage.h"
#include "providers/x11/CursorRecord.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The pixels of one cursor as X shows it: one or more frames of the same
// size, premultiplied 0xAARRGGBB words, a hot spot in pixels.
struct CursorFrames {
    int width = 0;
    int height = 0;
    int xHot = 0;
    int yHot = 0;
    unsigned delayMilliseconds = 0;
    std::vector<std::vector<std::uint32_t>> frames;

    // Larger images are not cursors; they are skipped rather than copied.
    // (A tall image may stack many frames.)
    static constexpr int largestSourceSide = 1024;
    static constexpr long largestSourcePixels = 4L * 1024 * 1024;
    // What X servers accept as a cursor without complaint.
    static constexpr int largestCursorSide = 256;

    // The largest cursor a server takes, in pixels.
    struct Limit {
        int width;
        int height;
    };

    // Picks the image whose pixel size best fits the record's size in points
    // times scale (the smallest one at least that wide, else the widest) and
    // resamples it to the exact size when needed. A cursor larger than the
    // limit is reduced as a whole to the largest size within it. An animation is an image
    // with its frames stacked top to bottom (taller than the size's
    // proportions say), or else, when the record has more than one frame,
    // every image of the chosen pixel size in turn. Nothing when the list
    // holds no usable image.
    static std::optional<CursorFrames> fromRecord(const CursorRecord& record, double scale, Limit limit = {largestCursorSide, largestCursorSide});

    // Whether fromRecord finds an image in the record's list to make frames of.
    static bool hasUsableImage(const CursorRecord& record);

    // The frames of the nominal size nearest to size, as libXcursor picks it.
    static std::optional<CursorFrames> fromTheme(const XcursorImages& images, int size);

    // A new cursor on the display, named for XFixes when name is given; None
    // when the server cannot make one.
    Cursor createCursor(Display* display, const char* name) const;

    // One new cursor per name, each named for XFixes (a name belongs to one
    // cursor); an animation shares its frames between them. Empty when the
    // server cannot make them.
    std::vector<Cursor> createCursors(Display* display, std::span<const char* const> names) const;

    // The first frame as an image; nullptr when there is none.
    CGImageRef createImage() const;

private:
    // Caller destroys; nullptr when memory runs out.
    XcursorImages* toXcursorImages() const;
};
