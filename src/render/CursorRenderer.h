#pragma once

#include "language/CursorMarker.h"
#include "platform/graphics/Rect.h"
#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"
#include "render/CursorTemplate.h"
#include "runtime/CursorSnapshot.h"

#include <functional>
#include <optional>
#include <vector>

class StockCursor;

// Turns cursor images into badged ones: a larger canvas with room for the
// disc beside and below the pointer, every image redrawn on it with the disc
// placed next to the pointer's own pixels, and the hot spot kept on the same
// spot of the pointer. Also draws the desktop's stock cursors when no
// captured image exists, and mirrors cursors for left-handed use. Keeps no
// state; drawing goes through the calling thread's current graphics context,
// which is saved and restored around each image.
class CursorRenderer {
public:
    struct DecoratedPayload {
        // The input with size and hot spot moved to the larger canvas; its
        // images are still the undecorated ones.
        CursorSnapshot snapshot;
        // One decorated image per input image that could be redrawn, in order.
        std::vector<CFRef<CGImageRef>> images;
    };

    // Without a marker the input comes back unchanged.
    static DecoratedPayload decoratePayload(const CursorSnapshot& snapshot, const std::optional<CursorMarker>& marker,
                                            std::optional<CursorTemplate> cursorTemplate, bool isHorizontalResize,
                                            bool isVerticalResize, bool isDiagonalResize, bool isLeftHanded);

    // The stock cursor at scale pixels per point, with the marker in a corner
    // of its own image when one is given; null when no bitmap can be made.
    static CFRef<CGImageRef> render(const StockCursor& cursor, const std::optional<CursorMarker>& marker,
                                    CGFloat scale);

    // The template's stock cursor at 1, 2, 5 and 10 pixels per point; the
    // scales that could not be drawn are left out.
    static std::vector<CFRef<CGImageRef>> fallbackImages(CursorTemplate cursorTemplate,
                                                         const std::optional<CursorMarker>& marker);

    // The image mirrored left to right, whole pixels moved; null (and an
    // error line) when it cannot be.
    static CFRef<CGImageRef> mirrorHorizontally(CGImageRef image);
    // The line mirrorHorizontally writes for an image it mirrored.
    static void noteMirrored(CGImageRef image);
    // Every image mirrored (by mirrorImage, which is mirrorHorizontally or
    // gives what it gave before) and the hot spot with them; images that
    // cannot be mirrored are dropped.
    using ImageMirror = std::function<CFRef<CGImageRef>(CGImageRef)>;
    static CursorSnapshot mirrorSnapshot(const CursorSnapshot& snapshot,
                                         const ImageMirror& mirrorImage = mirrorHorizontally);

private:
    friend struct CursorRendererTesting;

    // Draws the badge into the current graphics context. canvas has its
    // origin at (0, 0); preferredBounds is the area the pointer covers.
    static void drawMarker(const CursorMarker& marker, const Rect& canvas, const std::optional<Rect>& preferredBounds,
                           bool isHorizontalResize, bool isVerticalResize, bool isDiagonalResize, bool isLeftHanded);
};
