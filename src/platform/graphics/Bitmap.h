#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A drawing surface: pixels in the window server's own layout (native 32-bit
// words 0xAARRGGBB, premultiplied; premultiplied-first, 32-bit little-endian
// on this hardware) with a size in points, so its pixel density is
// pixelsWide / size.width. Rows are pixelsWide * 4 bytes. A new bitmap is
// fully transparent.
class Bitmap {
public:
    // Sides beyond this are refused: the painter's coordinates stop there.
    static constexpr std::size_t maximumSide = 32767;
    static constexpr std::size_t maximumPixelCount = std::size_t{1} << 26;
    static constexpr CGBitmapInfo bitmapInfo = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host;

    // Absent when a side is 0, too large, or the memory cannot be had. The
    // size in points starts equal to the pixel size.
    static std::optional<Bitmap> create(std::size_t pixelsWide, std::size_t pixelsHigh);
    // The image's pixels in this layout, one point per pixel; absent for a
    // null image or one too large.
    static std::optional<Bitmap> fromImage(CGImageRef image);

    std::size_t pixelsWide() const { return pixelsWide_; }
    std::size_t pixelsHigh() const { return pixelsHigh_; }
    std::size_t bytesPerRow() const { return pixelsWide_ * 4; }
    std::size_t byteCount() const { return bytesPerRow() * pixelsHigh_; }

    CGSize size() const { return size_; }
    void setSize(CGSize size) { size_ = size; }

    std::uint32_t* pixels() { return pixels_.get(); }
    const std::uint32_t* pixels() const { return pixels_.get(); }
    // Row 0 is the top row.
    std::uint32_t pixelAt(std::size_t column, std::size_t row) const { return pixels_[row * pixelsWide_ + column]; }

    // An immutable copy of the pixels; null only when memory runs out.
    CFRef<CGImageRef> makeImage() const;
    bool writePNG(const std::string& path) const;

private:
    Bitmap(std::size_t pixelsWide, std::size_t pixelsHigh, std::unique_ptr<std::uint32_t[]> pixels);

    std::size_t pixelsWide_;
    std::size_t pixelsHigh_;
    CGSize size_;
    std::unique_ptr<std::uint32_t[]> pixels_;
};
