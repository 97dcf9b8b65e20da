#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// PNG files of boundary images. Decoded images come back in the window
// server's own layout (premultiplied-first, 32-bit host order).
namespace PngCodec {

// The bytes of a PNG file holding the image's pixels; nothing for a null or
// unreadable image.
std::optional<std::string> encode(CGImageRef image);

// encode() of every image, in order, spread over the machine's cores.
std::vector<std::optional<std::string>> encodeAll(const std::vector<CGImageRef>& images);

// The image a PNG file holds, or null when the bytes are not a PNG that
// decodes. The image's size is read from its header first: one of more than
// maxPixelCount pixels is refused before any pixel is decoded.
CFRef<CGImageRef> decode(std::string_view bytes, std::size_t maxPixelCount);

// What decode(*encode(image)) gives, without the file: PNG keeps premultiplied
// pixels exactly, so only the layout may differ. An image already in the
// decoded layout is itself.
CFRef<CGImageRef> asDecoded(CGImageRef image);

}
