#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// How an X cursor theme's image becomes a cursor in points, the same for the
// live cursors (the x11 provider) and the stock cursors (previews, fallback
// images), so that both look alike.
//
// A theme's nominal size of 24 pixels is a cursor of 24 points: a 48 px
// theme is a 2x image of the same cursor, and a badge of so many points
// grows with it. Pixels per point are whole numbers, because the badge is
// laid out in whole points around the image: at a fractional density the
// image would land between pixels and be resampled instead of kept.
//
// Themes hand over tight images, the glyph filling the square. A system's
// arrow sits at the top left of a square a third larger, with empty room
// below and beside it, and the badge layout relies on that room, so every
// theme image is padded to such a square (32 points for the 24-point
// image), the image at its top left, the hot spot where it was. The square
// also keeps a theme's square resize cursors square and of an arrow's size,
// as the layout classifies them.
struct ThemeCursorFrame {
    static constexpr int nominalPointSize = 24;
    static constexpr int smallestSide = 32;

    static int pixelsPerPoint(int nominalSize)
    {
        return std::max(1, static_cast<int>(std::lround(static_cast<double>(nominalSize) / nominalPointSize)));
    }

    // The side in points of the square for an image of width x height pixels.
    static int sideInPoints(int width, int height, int pixelsPerPoint)
    {
        int longest = std::max(width, height);
        int side = (4 * longest + 3 * pixelsPerPoint - 1) / (3 * pixelsPerPoint);
        return std::max(smallestSide, side);
    }

    // Row-major premultiplied pixels placed at the top left of a clear square
    // of side pixels; the parts beyond the square are left out.
    static std::vector<std::uint32_t> padded(const std::uint32_t* pixels, int width, int height, int side)
    {
        std::vector<std::uint32_t> square(static_cast<std::size_t>(side) * side, 0);
        for (int y = 0; y < std::min(height, side); ++y) {
            const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * width;
            std::copy(row, row + std::min(width, side), square.begin() + static_cast<std::ptrdiff_t>(y) * side);
        }
        return square;
    }
};
