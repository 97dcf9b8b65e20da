#pragma once

#include "platform/graphics/cgimage/CFBase.h"

#include <algorithm>

// A rectangle in drawing coordinates: points, origin at the bottom left unless
// a context says it is flipped. Widths and heights are never negative here.
struct Rect {
    CGPoint origin{0, 0};
    CGSize size{0, 0};

    constexpr Rect() = default;
    constexpr Rect(CGFloat x, CGFloat y, CGFloat width, CGFloat height) : origin{x, y}, size{width, height} {}
    constexpr Rect(CGPoint origin, CGSize size) : origin(origin), size(size) {}

    constexpr CGFloat width() const { return size.width; }
    constexpr CGFloat height() const { return size.height; }
    constexpr CGFloat minX() const { return origin.x; }
    constexpr CGFloat minY() const { return origin.y; }
    constexpr CGFloat maxX() const { return origin.x + size.width; }
    constexpr CGFloat maxY() const { return origin.y + size.height; }
    constexpr CGFloat midX() const { return origin.x + size.width / 2; }
    constexpr CGFloat midY() const { return origin.y + size.height / 2; }

    // Covers no area.
    constexpr bool isEmpty() const { return !(size.width > 0) || !(size.height > 0); }

    // Shrinks by dx on the left and right and by dy at the top and bottom;
    // negative values grow it.
    constexpr Rect insetBy(CGFloat dx, CGFloat dy) const
    {
        return Rect(origin.x + dx, origin.y + dy, std::max<CGFloat>(size.width - 2 * dx, 0),
                    std::max<CGFloat>(size.height - 2 * dy, 0));
    }

    constexpr Rect offsetBy(CGFloat dx, CGFloat dy) const
    {
        return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
    }

    // The common part; empty (at the origin) when the two do not overlap.
    constexpr Rect intersection(const Rect& other) const
    {
        CGFloat left = std::max(minX(), other.minX());
        CGFloat right = std::min(maxX(), other.maxX());
        CGFloat bottom = std::max(minY(), other.minY());
        CGFloat top = std::min(maxY(), other.maxY());
        if (!(left < right) || !(bottom < top) || isEmpty() || other.isEmpty())
            return Rect();
        return Rect(left, bottom, right - left, top - bottom);
    }

    // True when the two share some area; touching edges do not count.
    constexpr bool intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

    friend constexpr bool operator==(const Rect& a, const Rect& b)
    {
        return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
               a.size.height == b.size.height;
    }
};
