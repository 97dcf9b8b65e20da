#include "RendererTestSupport.h"

#include "base/AppLog.h"
#include "platform/graphics/Bitmap.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace rendertest;

namespace {

// Each test logs, debug lines included, into a file of its own.
class Mirroring : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ORVELLE_VERBOSE", "1", 1);
        AppLog::testing::reset(home.path() + "/Tarnwick.log");
    }
    void TearDown() override { unsetenv("ORVELLE_VERBOSE"); }

    std::string log()
    {
        AppLog::flush();
        return TempHome::readFile(home.path() + "/Tarnwick.log");
    }
    bool logged(const std::string& line) { return log().find(line + "\n") != std::string::npos; }

    TempHome home;
};

}

TEST_F(Mirroring, SwapsWholePixelsAboutTheMiddleColumn)
{
    auto three = image(3, 2, {0xFF000001, 0x80000002, 0x00000000, 0xFF000004, 0xFF000005, 0x40000006});
    CFRef<CGImageRef> mirrored = CursorRenderer::mirrorHorizontally(three.get());
    ASSERT_TRUE(mirrored);
    EXPECT_EQ(pixels(mirrored.get()),
              (std::vector<std::uint32_t>{0x00000000, 0x80000002, 0xFF000001, 0x40000006, 0xFF000005, 0xFF000004}));
    EXPECT_EQ(CGImageGetBitmapInfo(mirrored.get()), 8194u);
    EXPECT_EQ(CGImageGetBytesPerRow(mirrored.get()), 12u);
    EXPECT_TRUE(logged("mirrorHorizontally: success 3x2"));

    auto one = image(1, 3, {0xFF112233, 0x00000000, 0x80402010});
    CFRef<CGImageRef> same = CursorRenderer::mirrorHorizontally(one.get());
    ASSERT_TRUE(same);
    EXPECT_EQ(pixels(same.get()), pixels(one.get()));
    EXPECT_TRUE(logged("mirrorHorizontally: success 1x3"));
}

TEST_F(Mirroring, ReportsImagesItCannotMirror)
{
    EXPECT_FALSE(CursorRenderer::mirrorHorizontally(nullptr));
    EXPECT_TRUE(logged("mirrorHorizontally: invalid dimensions 0x0"));
    auto tooWide = solid(Bitmap::maximumSide + 1, 1, 0);
    ASSERT_TRUE(tooWide);
    EXPECT_FALSE(CursorRenderer::mirrorHorizontally(tooWide.get()));
    EXPECT_TRUE(logged("mirrorHorizontally: CGContext creation failed for 32768x1"));
    EXPECT_NE(log().find("[ERROR] mirrorHorizontally: CGContext creation failed"), std::string::npos);
}

TEST_F(Mirroring, SnapshotsMirrorTheirHotSpotInPointsAndDropWhatFails)
{
    CursorSnapshot input = snapshot({17, 23}, {4, 3},
                                    {solid(17, 23, 0xFF000000), solid(Bitmap::maximumSide + 1, 1, 0), solid(34, 46, 0)});
    input.frameCount = 3;
    input.frameDuration = 0.5;
    CursorSnapshot mirrored = CursorRenderer::mirrorSnapshot(input);
    EXPECT_EQ(mirrored.hotSpot.x, 13);
    EXPECT_EQ(mirrored.hotSpot.y, 3);
    EXPECT_EQ(mirrored.size.width, 17);
    EXPECT_EQ(mirrored.size.height, 23);
    EXPECT_EQ(mirrored.frameCount, 3u);
    EXPECT_EQ(mirrored.frameDuration, 0.5);
    ASSERT_EQ(mirrored.images.size(), 2u);
    EXPECT_EQ(CGImageGetWidth(mirrored.images[0].get()), 17u);
    EXPECT_EQ(CGImageGetWidth(mirrored.images[1].get()), 34u);
    EXPECT_TRUE(logged("mirrorSnapshot: input 3 images → mirrored 2 images, size=17.0x23.0"));
    EXPECT_NE(log().find("[INFO] mirrorSnapshot: input 3"), std::string::npos);

    CursorSnapshot empty = CursorRenderer::mirrorSnapshot(snapshot({17, 23}, {4, 3}, {}));
    EXPECT_TRUE(empty.images.empty());
    EXPECT_EQ(empty.hotSpot.x, 13);
    EXPECT_TRUE(logged("mirrorSnapshot: input 0 images → mirrored 0 images, size=17.0x23.0"));

    CursorSnapshot fractional = CursorRenderer::mirrorSnapshot(snapshot({24.5, 32}, {4.25, 3}, {}));
    EXPECT_EQ(fractional.hotSpot.x, 20.25);
    EXPECT_TRUE(logged("mirrorSnapshot: input 0 images → mirrored 0 images, size=24.5x32.0"));
}

TEST_F(Mirroring, TwiceGivesBackTheInputInTheWindowServersLayout)
{
    // Unpremultiplied R G B A: mirroring premultiplies it once.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 5 * 4; ++i)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(i * 12), 200, 100, static_cast<std::uint8_t>(i * 13)});
    auto input = CFRef<CGImageRef>::adopt(CGImageCreate(5, 4, 8, 32, 20, kCGImageAlphaLast, bytes.data(), bytes.size()));
    ASSERT_TRUE(input);
    CursorSnapshot original = snapshot({5, 4}, {1, 2}, {input});
    CursorSnapshot back = CursorRenderer::mirrorSnapshot(CursorRenderer::mirrorSnapshot(original));
    ASSERT_EQ(back.images.size(), 1u);
    EXPECT_EQ(pixels(back.images[0].get()), pixels(input.get()));
    EXPECT_NE(pixels(CursorRenderer::mirrorHorizontally(input.get()).get()), pixels(input.get()));
    EXPECT_EQ(back.hotSpot.x, 1);
    EXPECT_EQ(back.hotSpot.y, 2);
}
