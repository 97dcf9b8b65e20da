#include "platform/graphics/ImageKey.h"

#include "base/Text.h"

#include <span>

ImageKey ImageKey::of(CGImageRef image)
{
    const std::uint8_t* bytes = CGImageGetBytePointer(image);
    std::size_t length = bytes ? CGImageGetBytesLength(image) : 0;
    return {CGImageGetWidth(image), CGImageGetHeight(image), CGImageGetBytesPerRow(image),
            CGImageGetBitmapInfo(image), fastHash64(std::span(bytes, length))};
}
