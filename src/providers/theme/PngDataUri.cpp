#include "providers/theme/PngDataUri.h"

#include <zlib.h>

#include <algorithm>

namespace PngDataUri {

namespace {

void putWord(std::string& out, std::uint32_t word)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>(word >> shift & 0xff));
}

void putChunk(std::string& out, const char* type, const std::string& data)
{
    putWord(out, static_cast<std::uint32_t>(data.size()));
    std::string body = type + data;
    out += body;
    putWord(out, static_cast<std::uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// PNG keeps colour apart from opacity: premultiplied channels are divided
// back out, rounding to nearest.
std::uint8_t straight(std::uint32_t channel, std::uint32_t alpha)
{
    return static_cast<std::uint8_t>(alpha ? std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha) : 0);
}

// Each row starts with filter type 0 (none), then red, green, blue, alpha.
std::string scanlines(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    std::string rows;
    rows.reserve(static_cast<std::size_t>(height) * (1 + 4 * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * width + x];
            std::uint32_t alpha = pixel >> 24;
            for (int shift : {16, 8, 0})
                rows.push_back(static_cast<char>(straight(pixel >> shift & 0xff, alpha)));
            rows.push_back(static_cast<char>(alpha));
        }
    }
    return rows;
}

std::optional<std::string> deflated(const std::string& bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return std::nullopt;
    out.resize(size);
    return out;
}

std::string base64(const std::string& bytes)
{
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        for (std::size_t digit = 0; digit < 4; ++digit)
            out.push_back(i + digit <= bytes.size() ? digits[group >> (18 - 6 * digit) & 63] : '=');
    }
    return out;
}

}

std::optional<std::string> fromPixels(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<std::size_t>(width) * height)
        return std::nullopt;
    auto compressed = deflated(scanlines(width, height, pixels));
    if (!compressed)
        return std::nullopt;
    std::string header;
    putWord(header, static_cast<std::uint32_t>(width));
    putWord(header, static_cast<std::uint32_t>(height));
    // 8 bits a channel, colour with alpha, deflate, no filter choice, no interlace.
    header += std::string("\x08\x06\x00\x00\x00", 5);
    std::string png = "\x89PNG\r\n\x1a\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", *compressed);
    putChunk(png, "IEND", "");
    return "data:image/png;base64," + base64(png);
}

}
