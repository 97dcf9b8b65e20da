#include "platform/graphics/ImageKey.h"

#include "base/Text.h"

#include <span>

namespace {

std::uint64_t pixelHash(const std::uint8_t* bytes, std::size_t length)
{
    return fastHash64(std::span(bytes, length));
}

}

ImageKey ImageKey::of(CGImageRef image)
{
    // Hashed once per image: the same objects come back at every switch.
    return {CGImageGetWidth(image), CGImageGetHeight(image), CGImageGetBytesPerRow(image),
            CGImageGetBitmapInfo(image), CGImageGetBytesDigest(image, pixelHash)};
}
