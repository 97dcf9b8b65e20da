#include "providers/sim/SimCursorArt.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

struct Point {
    double x;
    double y;
};

using Polygon = std::vector<Point>;

enum class Paint { clear, outline, fill, accent };

constexpr double outlineInside = 1.0;
constexpr double outlineOutside = 0.5;
constexpr Point centre{12, 12};
constexpr double waitRadius = 9.0;

const Polygon arrowOutline{{5, 3}, {5, 19}, {9, 15.5}, {11.5, 21}, {14, 20}, {11.5, 14.5}, {16.5, 14.5}};
const Polygon iBeamOutline{{8, 3},   {16, 3}, {16, 5}, {13, 5},  {13, 19}, {16, 19},
                           {16, 21}, {8, 21}, {8, 19}, {11, 19}, {11, 5},  {8, 5}};
const Polygon handOutline{{9, 2.5}, {12, 2.5}, {12, 10}, {18, 10}, {19.5, 11.5}, {19.5, 17},
                          {17, 21}, {10, 21},  {5, 15},  {5, 13},  {6.5, 12.5},  {9, 14.5}};
const Polygon doubleArrowOutline{{2, 12},  {7, 7},   {7, 10},  {17, 10}, {17, 7},
                                 {22, 12}, {17, 17}, {17, 14}, {7, 14},  {7, 17}};

double distanceToSegment(Point p, Point a, Point b)
{
    double dx = b.x - a.x, dy = b.y - a.y;
    double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Negative inside the polygon (even-odd rule), positive outside.
double signedDistance(Point p, const Polygon& polygon)
{
    double nearest = INFINITY;
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        Point a = polygon[j], b = polygon[i];
        nearest = std::min(nearest, distanceToSegment(p, a, b));
        if ((a.y > p.y) != (b.y > p.y) && p.x < a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y))
            inside = !inside;
    }
    return inside ? -nearest : nearest;
}

Paint paintAt(double distance)
{
    if (distance <= -outlineInside)
        return Paint::fill;
    return distance <= outlineOutside ? Paint::outline : Paint::clear;
}

Polygon transformed(const Polygon& polygon, double angle, bool swapAxes)
{
    Polygon result;
    double c = std::cos(angle), s = std::sin(angle);
    for (Point p : polygon) {
        Point q = swapAxes ? Point{p.y, p.x} : p;
        double x = q.x - centre.x, y = q.y - centre.y;
        result.push_back({centre.x + x * c - y * s, centre.y + x * s + y * c});
    }
    return result;
}

// A disc whose coloured quarter turns a quarter further on every frame.
Paint waitPaintAt(Point p, std::uint64_t frame)
{
    double distance = std::hypot(p.x - centre.x, p.y - centre.y) - waitRadius;
    Paint paint = paintAt(distance);
    if (paint != Paint::fill)
        return paint;
    double turn = std::atan2(p.y - centre.y, p.x - centre.x) / (2 * std::numbers::pi) + 1.0;
    auto quarter = static_cast<std::uint64_t>(std::floor(turn * 4)) % 4;
    return quarter == frame % 4 ? Paint::accent : Paint::fill;
}

// Premultiplied 0xAARRGGBB, stored little-endian: B G R A in memory.
std::uint32_t argb(Paint paint)
{
    switch (paint) {
    case Paint::outline:
        return 0xFF000000u;
    case Paint::fill:
        return 0xFFFFFFFFu;
    case Paint::accent:
        return 0xFF3070E0u;
    case Paint::clear:
        break;
    }
    return 0;
}

template <typename PaintFunction>
CFRef<CGImageRef> draw(int scale, std::uint64_t frames, PaintFunction paintOf)
{
    size_t side = static_cast<size_t>(SimCursorArt::canvasPoints) * scale;
    size_t height = side * frames;
    std::vector<std::uint8_t> bytes(side * height * 4);
    for (size_t row = 0; row < height; ++row) {
        for (size_t column = 0; column < side; ++column) {
            Point p{(column + 0.5) / scale, ((row % side) + 0.5) / scale};
            std::uint32_t pixel = argb(paintOf(p, row / side));
            std::uint8_t* out = bytes.data() + (row * side + column) * 4;
            for (int byte = 0; byte < 4; ++byte)
                out[byte] = static_cast<std::uint8_t>(pixel >> (8 * byte));
        }
    }
    return CFRef<CGImageRef>::adopt(CGImageCreate(side, height, 8, 32, side * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
                                                  bytes.data(), bytes.size()));
}

CursorSnapshot polygonCursor(const Polygon& polygon, CGPoint hotSpot)
{
    CursorSnapshot cursor{{SimCursorArt::canvasPoints, SimCursorArt::canvasPoints}, hotSpot, 1, 0.0, {}};
    for (int scale : {1, 2})
        cursor.images.push_back(draw(scale, 1, [&](Point p, std::uint64_t) { return paintAt(signedDistance(p, polygon)); }));
    return cursor;
}

CursorSnapshot waitCursor()
{
    CursorSnapshot cursor{{SimCursorArt::canvasPoints, SimCursorArt::canvasPoints},
                          {centre.x, centre.y}, SimCursorArt::waitFrameCount, 0.1, {}};
    for (int scale : {1, 2})
        cursor.images.push_back(draw(scale, SimCursorArt::waitFrameCount, waitPaintAt));
    return cursor;
}

}

CursorSnapshot SimCursorArt::cursor(Shape shape)
{
    constexpr double quarterTurn = std::numbers::pi / 4;
    constexpr CGPoint middle{centre.x, centre.y};
    switch (shape) {
    case Shape::arrow:
        return polygonCursor(arrowOutline, {5, 3});
    case Shape::iBeam:
        return polygonCursor(iBeamOutline, middle);
    case Shape::pointingHand:
        return polygonCursor(handOutline, {10.5, 2.5});
    case Shape::resizeLeftRight:
        return polygonCursor(doubleArrowOutline, middle);
    case Shape::resizeUpDown:
        return polygonCursor(transformed(doubleArrowOutline, 0, true), middle);
    case Shape::resizeNorthWestSouthEast:
        return polygonCursor(transformed(doubleArrowOutline, quarterTurn, false), middle);
    case Shape::resizeNorthEastSouthWest:
        return polygonCursor(transformed(doubleArrowOutline, -quarterTurn, false), middle);
    case Shape::wait:
        return waitCursor();
    }
    return {};
}
