#pragma once

#include "runtime/CursorSnapshot.h"

// The simulated window server's own stock cursors, drawn in code: plain white
// shapes with a black outline on a 24 x 24 point canvas. Every cursor holds one
// image per pixel density, 1x then 2x; the wait cursor is animated and each of
// its images stacks its frames from top to bottom.
class SimCursorArt {
public:
    enum class Shape {
        arrow,
        iBeam,
        pointingHand,
        resizeLeftRight,
        resizeUpDown,
        resizeNorthWestSouthEast,
        resizeNorthEastSouthWest,
        wait
    };

    static constexpr double canvasPoints = 24.0;
    static constexpr std::uint64_t waitFrameCount = 4;

    static CursorSnapshot cursor(Shape shape);
};
