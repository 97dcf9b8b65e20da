// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "providers/x11/CursorFrames.h"

#include <vector>

namespace {

// A square image of one premultiplied colour.
CFRef<CGImageRef> solid(std::size_t side, std::uint32_t argb)
{
    std::vector<std::uint32_t> pixels(side * side, argb);
    return CFRef<CGImageRef>::adopt(CGImageCreate(side, side, 8, 32, side * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

CursorRecord record(std::vector<CFRef<CGImageRef>> images, double points, std::uint64_t frames = 1)
{
    std::vector<CFTypeRef> values;
    for (const auto& image : images)
        values.push_back(image.get());
    CursorRecord record;
    record.size = {points, points};
    record.hotSpot = {points / 4, points / 8};
    record.frameCount = frames;
    record.frameDuration = 0.1;
    record.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
    return record;
}

}

TEST(CursorFramesTest, TheImageThatFitsThePointSizeTimesTheScaleIsUsedAsItIs)
{
    auto small = solid(24, 0xFF0000FFu), medium = solid(32, 0xFF00FF00u), large = solid(48, 0xFFFF0000u);
    CursorRecord arrow = record({small, medium, large}, 24);

    auto atOne = CursorFrames::fromRecord(arrow, 1.0);
    ASSERT_TRUE(atOne);
    EXPECT_EQ(atOne->width, 24);
    EXPECT_EQ(atOne->xHot, 6);
    EXPECT_EQ(atOne->yHot, 3);
    ASSERT_EQ(atOne->frames.size(), 1u);
    EXPECT_EQ(atOne->frames[0].front(), 0xFF0000FFu);

    auto atTwo = CursorFrames::fromRecord(arrow, 2.0);
    ASSERT_TRUE(atTwo);
    EXPECT_EQ(atTwo->width, 48);
    EXPECT_EQ(atTwo->xHot, 12);
    EXPECT_EQ(atTwo->frames[0].front(), 0xFFFF0000u);

    // 26 pixels come from the next larger image, reduced.
    auto between = CursorFrames::fromRecord(arrow, 1.08);
    ASSERT_TRUE(between);
    EXPECT_EQ(between->width, 26);
    EXPECT_EQ(between->frames[0].size(), 26u * 26u);
    EXPECT_EQ(between->frames[0][13 * 26 + 13], 0xFF00FF00u);

    // Larger than every image: the largest, enlarged.
    auto huge = CursorFrames::fromRecord(arrow, 3.0);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->width, 72);
    EXPECT_EQ(huge->frames[0][0], 0xFFFF0000u);
}

TEST(CursorFramesTest, ReducingAveragesTheCoveredPixelsInPremultipliedColour)
{
    // Two columns, opaque white and transparent, reduced to one pixel.
    std::vector<std::uint32_t> pixels = {0xFFFFFFFFu, 0u, 0xFFFFFFFFu, 0u};
    auto image = CFRef<CGImageRef>::adopt(CGImageCreate(2, 2, 8, 32, 8,
                                                        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                        pixels.data(), pixels.size() * 4));
    auto frames = CursorFrames::fromRecord(record({image}, 1), 1.0);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->frames[0].size(), 1u);
    EXPECT_EQ(frames->frames[0][0], 0x80808080u);
}

TEST(CursorFramesTest, AnAnimatedCursorTakesEveryFrameOfTheChosenSizeInOrder)
{
    CursorRecord busy = record({solid(24, 1), solid(24, 2), solid(24, 3), solid(48, 4), solid(48, 5), solid(48, 6)},
                               24, 3);
    auto frames = CursorFrames::fromRecord(busy, 1.0);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->frames.size(), 3u);
    EXPECT_EQ(frames->frames[0][0], 1u);
    EXPECT_EQ(frames->frames[2][0], 3u);
    EXPECT_EQ(frames->delayMilliseconds, 100u);

    auto doubled = CursorFrames::fromRecord(busy, 2.0);
    ASSERT_TRUE(doubled);
    ASSERT_EQ(doubled->frames.size(), 3u);
    EXPECT_EQ(doubled->frames[1][0], 5u);
}

TEST(CursorFramesTest, AnImageTallerThanTheCursorHoldsItsFramesTopToBottom)
{
    // Four 24-pixel frames, each one colour, and the same at twice the size.
    auto strip = [](std::size_t side) {
        std::vector<std::uint32_t> pixels;
        for (std::uint32_t frame = 0; frame < 4; ++frame)
            pixels.insert(pixels.end(), side * side, 0xFF000000u | frame);
        return CFRef<CGImageRef>::adopt(CGImageCreate(side, side * 4, 8, 32, side * 4,
                                                      kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                      pixels.data(), pixels.size() * 4));
    };
    // The frame count may say less than the strip holds: the strip decides.
    CursorRecord busy = record({strip(24), strip(48)}, 24, 2);
    auto frames = CursorFrames::fromRecord(busy, 1.0);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->height, 24);
    ASSERT_EQ(frames->frames.size(), 4u);
    for (std::uint32_t frame = 0; frame < 4; ++frame)
        EXPECT_EQ(frames->frames[frame][0], 0xFF000000u | frame);
    EXPECT_EQ(frames->delayMilliseconds, 100u);

    auto doubled = CursorFrames::fromRecord(busy, 2.0);
    ASSERT_TRUE(doubled);
    EXPECT_EQ(doubled->frames.size(), 4u);
    EXPECT_EQ(doubled->frames[3].size(), 48u * 48u);
}

TEST(CursorFramesTest, UnusableInputGivesNothingOrIsBroughtIntoRange)
{
    EXPECT_FALSE(CursorFrames::fromRecord(record({}, 24), 1.0));
    CursorRecord none;
    EXPECT_FALSE(CursorFrames::fromRecord(none, 1.0));
    // Images beyond any cursor size are skipped rather than copied.
    EXPECT_FALSE(CursorFrames::fromRecord(record({solid(CursorFrames::largestSourceSide + 1, 1)}, 24), 1.0));

    CursorRecord wild = record({solid(24, 7)}, 24);
    wild.size = {0, -3};
    wild.hotSpot = {1e9, -1e9};
    auto frames = CursorFrames::fromRecord(wild, 1e6);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->width, CursorFrames::largestCursorSide);
    EXPECT_EQ(frames->xHot, CursorFrames::largestCursorSide - 1);
    EXPECT_EQ(frames->yHot, 0);
}

TEST(CursorFramesTest, ACursorLargerThanTheServerTakesIsReducedWholeToTheLargestThatFits)
{
    // 40 x 60 points at 2 pixels per point against a server that takes
    // 64 x 96 pixels: the height limits, the proportions stay.
    std::vector<std::uint32_t> pixels(80 * 120, 0xFF00FF00u);
    auto tall = CFRef<CGImageRef>::adopt(CGImageCreate(80, 120, 8, 32, 80 * 4,
                                                       kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                       pixels.data(), pixels.size() * 4));
    CursorRecord cursor = record({tall}, 40);
    cursor.size = {40, 60};
    cursor.hotSpot = {10, 30};
    auto frames = CursorFrames::fromRecord(cursor, 2.0, {64, 96});
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->width, 64);
    EXPECT_EQ(frames->height, 96);
    EXPECT_EQ(frames->xHot, 16);
    EXPECT_EQ(frames->yHot, 48);
    EXPECT_EQ(frames->frames.front().front(), 0xFF00FF00u) << "reduced, not cropped";
    // Within the limit nothing changes.
    auto fits = CursorFrames::fromRecord(cursor, 2.0, {200, 200});
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->width, 80);
    EXPECT_EQ(fits->height, 120);
}

TEST(CursorFramesTest, TheFirstFrameComesBackAsAnImageOfTheInstalledPixels)
{
    auto frames = CursorFrames::fromRecord(record({solid(32, 0x80402010u)}, 16), 1.0);
    ASSERT_TRUE(frames);
    auto image = CFRef<CGImageRef>::adopt(frames->createImage());
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image.get()), 16u);
    std::vector<std::uint32_t> pixels(16 * 16);
    ASSERT_TRUE(CGImageCopyARGB32Premultiplied(image.get(), pixels.data(), pixels.size()));
    EXPECT_EQ(pixels[0], 0x80402010u);
}
