#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A cursor frame as a data: URI of a PNG file, for an SVG to carry. Written
// with zlib alone: it runs on the theme queue, which may still be working
// while the program exits and a toolkit tears its image codecs down.
namespace PngDataUri {

// Pixels are premultiplied 0xAARRGGBB words, row after row; nothing when
// they do not make width × height or zlib fails.
std::optional<std::string> fromPixels(int width, int height, const std::vector<std::uint32_t>& pixels);

}
