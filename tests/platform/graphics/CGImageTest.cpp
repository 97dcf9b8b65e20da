#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGEvent.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Image = CFRef<CGImageRef>;

Image create(size_t width, size_t height, size_t bitsPerPixel, size_t bytesPerRow, CGBitmapInfo info,
             const std::vector<uint8_t>& bytes)
{
    return Image::adopt(CGImageCreate(width, height, 8, bitsPerPixel, bytesPerRow, info, bytes.data(), bytes.size()));
}

uint32_t onlyPixel(const Image& image)
{
    uint32_t pixel = 0;
    EXPECT_TRUE(CGImageCopyARGB32Premultiplied(image.get(), &pixel, 1));
    return pixel;
}

}

TEST(CGImageTest, CreateAcceptsOnlyTheDescribedLayouts)
{
    std::vector<uint8_t> bytes(64, 0x80);
    EXPECT_TRUE(create(2, 2, 32, 8, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, bytes));
    EXPECT_TRUE(create(2, 2, 32, 16, kCGImageAlphaLast, bytes)) << "rows may be padded";
    EXPECT_TRUE(create(2, 2, 24, 6, kCGImageAlphaNone, bytes));

    EXPECT_FALSE(create(0, 2, 32, 8, kCGImageAlphaFirst, bytes));
    EXPECT_FALSE(create(2, 0, 32, 8, kCGImageAlphaFirst, bytes));
    EXPECT_FALSE(create(2, 2, 32, 7, kCGImageAlphaFirst, bytes)) << "row shorter than two pixels";
    EXPECT_FALSE(create(2, 2, 24, 8, kCGImageAlphaFirst, bytes)) << "alpha needs 32 bits per pixel";
    EXPECT_FALSE(create(2, 2, 32, 8, kCGImageAlphaNone, bytes)) << "no alpha means 24 bits per pixel";
    EXPECT_FALSE(create(2, 2, 24, 6, kCGImageAlphaNone | kCGBitmapByteOrder32Little, bytes));
    EXPECT_FALSE(create(2, 2, 32, 8, 7, bytes)) << "unknown alpha info";
    EXPECT_FALSE(create(2, 2, 32, 8, kCGImageAlphaFirst | (3u << 12), bytes)) << "16-bit byte order";
    EXPECT_FALSE(create(2, 2, 32, 8, kCGImageAlphaFirst | 0x100u, bytes)) << "float components";
    EXPECT_FALSE(create(2, 9, 32, 8, kCGImageAlphaFirst, bytes)) << "fewer bytes than rows";
    EXPECT_FALSE(Image::adopt(CGImageCreate(2, 2, 16, 32, 8, kCGImageAlphaFirst, bytes.data(), bytes.size())));
    EXPECT_FALSE(Image::adopt(CGImageCreate(2, 2, 8, 32, 8, kCGImageAlphaFirst, nullptr, 64)));
    EXPECT_FALSE(Image::adopt(CGImageCreate(SIZE_MAX / 2, 2, 8, 32, SIZE_MAX, kCGImageAlphaFirst, bytes.data(),
                                            bytes.size())))
        << "sizes that overflow";
}

TEST(CGImageTest, AnImageKeepsItsOwnCopyAndDescribesIt)
{
    std::vector<uint8_t> bytes(3 * 12);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i);
    CGBitmapInfo info = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
    Image image = create(2, 3, 32, 12, info, bytes);
    ASSERT_TRUE(image);
    std::vector<uint8_t> original = bytes;
    bytes.assign(bytes.size(), 0xFF);

    EXPECT_EQ(CFGetTypeID(image.get()), CGImageGetTypeID());
    EXPECT_EQ(CGImageGetWidth(image.get()), 2u);
    EXPECT_EQ(CGImageGetHeight(image.get()), 3u);
    EXPECT_EQ(CGImageGetBitsPerComponent(image.get()), 8u);
    EXPECT_EQ(CGImageGetBitsPerPixel(image.get()), 32u);
    EXPECT_EQ(CGImageGetBytesPerRow(image.get()), 12u);
    EXPECT_EQ(CGImageGetBitmapInfo(image.get()), info);
    EXPECT_EQ(CGImageGetAlphaInfo(image.get()), kCGImageAlphaPremultipliedFirst);
    EXPECT_EQ(CGImageGetByteOrderInfo(image.get()), kCGImageByteOrder32Little);
    ASSERT_EQ(CGImageGetBytesLength(image.get()), original.size());
    EXPECT_EQ(std::vector<uint8_t>(CGImageGetBytePointer(image.get()), CGImageGetBytePointer(image.get()) + 36),
              original);

    // Asking an image question of something else gives empty answers.
    CGImageRef notAnImage = reinterpret_cast<CGImageRef>(
        CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{1, 2}, kCGMouseButtonLeft));
    EXPECT_EQ(CGImageGetWidth(notAnImage), 0u);
    EXPECT_EQ(CGImageGetBytePointer(notAnImage), nullptr);
    EXPECT_EQ(CGImageGetWidth(nullptr), 0u);
    CFRelease(notAnImage);
}

TEST(CGImageTest, EveryLayoutReadsAsTheSamePremultipliedPixel)
{
    // Red 200, green 100, blue 50 at alpha 128, stored straight or premultiplied.
    const uint8_t a = 128, r = 200, g = 100, b = 50;
    const uint8_t pr = 100, pg = 50, pb = 25; // (c * 128 + 127) / 255
    const uint32_t expected = uint32_t(a) << 24 | uint32_t(pr) << 16 | uint32_t(pg) << 8 | pb;
    struct Case {
        CGBitmapInfo info;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {kCGImageAlphaPremultipliedFirst, {a, pr, pg, pb}},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Big, {a, pr, pg, pb}},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {pb, pg, pr, a}},
        {kCGImageAlphaPremultipliedLast, {pr, pg, pb, a}},
        {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, {a, pb, pg, pr}},
        {kCGImageAlphaFirst, {a, r, g, b}},
        {kCGImageAlphaLast | kCGBitmapByteOrder32Little, {a, b, g, r}},
        {kCGImageAlphaLast, {r, g, b, a}},
    };
    for (const Case& c : cases) {
        Image image = create(1, 1, 32, 4, c.info, c.bytes);
        ASSERT_TRUE(image) << c.info;
        EXPECT_EQ(onlyPixel(image), expected) << std::hex << c.info;
    }

    const uint32_t opaque = 0xFFu << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    EXPECT_EQ(onlyPixel(create(1, 1, 32, 4, kCGImageAlphaNoneSkipFirst, {7, r, g, b})), opaque);
    EXPECT_EQ(onlyPixel(create(1, 1, 32, 4, kCGImageAlphaNoneSkipLast, {r, g, b, 7})), opaque);
    EXPECT_EQ(onlyPixel(create(1, 1, 32, 4, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, {b, g, r, 7})),
              opaque);
    EXPECT_EQ(onlyPixel(create(1, 1, 24, 3, kCGImageAlphaNone, {r, g, b})), opaque);
}

TEST(CGImageTest, CopyingPixelsSkipsRowPaddingAndNeedsRoomForAll)
{
    // Two rows of two pixels, each row padded by four bytes.
    std::vector<uint8_t> bytes = {255, 1, 2, 3, 255, 4, 5, 6, 9, 9, 9, 9, 255, 7, 8, 9, 255, 10, 11, 12, 9, 9, 9, 9};
    Image image = create(2, 2, 32, 12, kCGImageAlphaPremultipliedFirst, bytes);
    std::array<uint32_t, 4> pixels{};
    EXPECT_FALSE(CGImageCopyARGB32Premultiplied(image.get(), pixels.data(), 3));
    EXPECT_EQ(pixels, (std::array<uint32_t, 4>{})) << "nothing written without room";
    ASSERT_TRUE(CGImageCopyARGB32Premultiplied(image.get(), pixels.data(), pixels.size()));
    EXPECT_EQ(pixels, (std::array<uint32_t, 4>{0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C}));
    EXPECT_FALSE(CGImageCopyARGB32Premultiplied(nullptr, pixels.data(), pixels.size()));

    // The layout the drawing side produces round-trips on this machine.
    std::array<uint32_t, 4> native = {0x80402010, 0xFF000000, 0x00000000, 0xFFFFFFFF};
    Image host = Image::adopt(CGImageCreate(2, 2, 8, 32, 8, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                            native.data(), sizeof native));
    ASSERT_TRUE(CGImageCopyARGB32Premultiplied(host.get(), pixels.data(), pixels.size()));
    EXPECT_EQ(pixels, native);
}

TEST(CGEventTest, AMouseEventCarriesWhatItWasCreatedWith)
{
    CGEventRef event = CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{12.5, 40}, kCGMouseButtonLeft);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(CFGetTypeID(event), CGEventGetTypeID());
    EXPECT_NE(CGEventGetTypeID(), CGImageGetTypeID());
    EXPECT_EQ(CGEventGetType(event), kCGEventMouseMoved);
    EXPECT_EQ(CGEventGetLocation(event).x, 12.5);
    EXPECT_EQ(CGEventGetLocation(event).y, 40.0);
    EXPECT_EQ(CGEventGetMouseButton(event), kCGMouseButtonLeft);
    CFRelease(event);

    int source = 0;
    EXPECT_EQ(CGEventCreateMouseEvent(reinterpret_cast<CGEventSourceRef>(&source), kCGEventMouseMoved, CGPoint{},
                                      kCGMouseButtonLeft),
              nullptr)
        << "event sources do not exist here";
}
