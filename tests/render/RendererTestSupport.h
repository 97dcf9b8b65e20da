#pragma once

#include "render/CursorRenderer.h"

#include "RecordingGraphicsContext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reaches the renderer's private badge drawing.
struct CursorRendererTesting {
    static void drawMarker(const CursorMarker& marker, const Rect& canvas, const std::optional<Rect>& preferredBounds,
                           bool isHorizontalResize = false, bool isVerticalResize = false,
                           bool isDiagonalResize = false, bool isLeftHanded = false)
    {
        CursorRenderer::drawMarker(marker, canvas, preferredBounds, isHorizontalResize, isVerticalResize,
                                   isDiagonalResize, isLeftHanded);
    }
};

namespace rendertest {

inline const Color fill = Color::calibratedRGB(1, 0, 0);

inline CursorMarker marker(std::optional<std::string> text = "En", double diameter = 18, double borderWidth = 1)
{
    return CursorMarker{std::move(text), fill, Color::white(), Color::white().withAlphaComponent(0.85), diameter,
                        borderWidth};
}

// Native words 0xAARRGGBB, premultiplied, rows from the top.
inline CFRef<CGImageRef> image(std::size_t width, std::size_t height, const std::vector<std::uint32_t>& pixels)
{
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

inline CFRef<CGImageRef> solid(std::size_t width, std::size_t height, std::uint32_t pixel)
{
    return image(width, height, std::vector<std::uint32_t>(width * height, pixel));
}

inline CursorSnapshot snapshot(CGSize size, CGPoint hotSpot, std::vector<CFRef<CGImageRef>> images)
{
    CursorSnapshot result;
    result.size = size;
    result.hotSpot = hotSpot;
    result.frameCount = images.size();
    result.frameDuration = 0;
    result.images = std::move(images);
    return result;
}

inline std::vector<std::uint32_t> pixels(CGImageRef image)
{
    std::vector<std::uint32_t> result(CGImageGetWidth(image) * CGImageGetHeight(image));
    CGImageCopyARGB32Premultiplied(image, result.data(), result.size());
    return result;
}

inline std::uint32_t pixelAt(CGImageRef image, std::size_t column, std::size_t row)
{
    return pixels(image).at(row * CGImageGetWidth(image) + column);
}

}
