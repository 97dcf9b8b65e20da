#pragma once

#include "platform/graphics/cgimage/CGImage.h"

#include <compare>
#include <cstddef>
#include <cstdint>

// An image found again by its pixels: two images with the same key hold the
// same bytes in the same layout (to the odds of a 64-bit hash), whichever
// objects they are.
struct ImageKey {
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t bytesPerRow = 0;
    CGBitmapInfo bitmapInfo = 0;
    std::uint64_t hash = 0;

    static ImageKey of(CGImageRef image);

    auto operator<=>(const ImageKey&) const = default;
};
