#pragma once

#include "capes/CursorCapeStore.h"
#include "platform/graphics/cgimage/CGImage.h"

#include "platform/prefs/PlistLibrary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CapeTestSupport {

struct FreeNode {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, FreeNode>;

// An image in the window server's layout whose premultiplied 0xAARRGGBB
// pixels come from pixel(column, row).
inline CFRef<CGImageRef> makeImage(std::size_t width, std::size_t height,
                                   const std::function<std::uint32_t(std::size_t, std::size_t)>& pixel)
{
    std::vector<std::uint32_t> pixels(width * height);
    for (std::size_t row = 0; row < height; ++row)
        for (std::size_t column = 0; column < width; ++column)
            pixels[row * width + column] = pixel(column, row);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

// A cursor-like pattern: every alpha value with colours no brighter than it.
inline CFRef<CGImageRef> patternImage(std::size_t width, std::size_t height, unsigned seed = 0)
{
    return makeImage(width, height, [seed](std::size_t x, std::size_t y) {
        std::uint32_t alpha = (x * 7 + y * 13 + seed) % 256;
        std::uint32_t red = alpha * ((x + seed) % 5) / 4, green = alpha * (y % 3) / 2, blue = alpha / 2;
        return alpha << 24 | red << 16 | green << 8 | blue;
    });
}

inline std::vector<std::uint32_t> pixelsOf(CGImageRef image)
{
    std::vector<std::uint32_t> pixels(CGImageGetWidth(image) * CGImageGetHeight(image));
    CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size());
    return pixels;
}

inline CursorSnapshot snapshotWith(std::vector<CFRef<CGImageRef>> images, CGSize size, CGPoint hotSpot,
                                   std::uint64_t frameCount = 1, double frameDuration = 0)
{
    CursorSnapshot snapshot;
    snapshot.size = size;
    snapshot.hotSpot = hotSpot;
    snapshot.frameCount = frameCount;
    snapshot.frameDuration = frameDuration;
    snapshot.images = std::move(images);
    return snapshot;
}

// Arrow-like and I-beam-like cursors at one and two pixels per point.
inline CursorCapeStore::Cursors sampleCursors()
{
    CursorCapeStore::Cursors cursors;
    auto arrow = snapshotWith({patternImage(32, 32, 1), patternImage(64, 64, 2)}, {32, 32}, {4.5, 3.0});
    cursors["com.apple.coregraphics.Arrow"] = {arrow, arrow.images};
    auto beam = snapshotWith({patternImage(16, 24, 3), patternImage(32, 48, 4)}, {16, 24}, {8, 12});
    cursors["com.apple.coregraphics.IBeam"] = {beam, beam.images};
    return cursors;
}

inline Node parse(const std::string& bytes)
{
    return Node(PlistLibrary::fromMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
}

inline std::string binary(plist_t root)
{
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string document(bytes ? bytes : "", length);
    PlistLibrary::freeSerialized(bytes);
    return document;
}

inline std::string xml(plist_t root)
{
    char* text = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &text, &length);
    std::string document(text ? text : "", length);
    PlistLibrary::freeSerialized(text);
    return document;
}

inline std::vector<std::string> keysOf(plist_t dictionary)
{
    std::vector<std::string> keys;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &value);
        if (!value)
            break;
        keys.emplace_back(key);
        free(key);
    }
    free(iterator);
    return keys;
}

inline std::string stringOf(plist_t node)
{
    std::uint64_t length = 0;
    const char* text = node && plist_get_node_type(node) == PLIST_STRING ? plist_get_string_ptr(node, &length) : "";
    return std::string(text, length);
}

inline double realOf(plist_t node)
{
    double value = -1;
    if (node && plist_get_node_type(node) == PLIST_REAL)
        plist_get_real_val(node, &value);
    return value;
}

inline std::uint64_t uintOf(plist_t node)
{
    std::uint64_t value = UINT64_MAX;
    if (node && plist_get_node_type(node) == PLIST_UINT)
        plist_get_uint_val(node, &value);
    return value;
}

}
