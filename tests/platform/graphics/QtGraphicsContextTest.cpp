#include "platform/graphics/QtGraphicsContext.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <QGlyphRun>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

struct Canvas {
    Bitmap bitmap;
    std::unique_ptr<QtGraphicsContext> context;
};

Canvas canvas(std::size_t pixelsWide, std::size_t pixelsHigh, CGSize points)
{
    auto bitmap = Bitmap::create(pixelsWide, pixelsHigh);
    EXPECT_TRUE(bitmap);
    bitmap->setSize(points);
    Canvas result{std::move(*bitmap), nullptr};
    result.context = QtGraphicsContext::create(result.bitmap);
    EXPECT_TRUE(result.context);
    return result;
}

CFRef<CGImageRef> image(std::size_t width, std::size_t height, CGBitmapInfo info, const std::vector<uint8_t>& bytes)
{
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4, info, bytes.data(), bytes.size()));
}

struct Box {
    std::size_t left, top, right, bottom;
    double midX() const { return (left + right + 1) / 2.0; }
    double midY() const { return (top + bottom + 1) / 2.0; }
};

std::optional<Box> paintedBox(const Bitmap& bitmap)
{
    std::optional<Box> box;
    for (std::size_t row = 0; row < bitmap.pixelsHigh(); ++row)
        for (std::size_t column = 0; column < bitmap.pixelsWide(); ++column) {
            if ((bitmap.pixelAt(column, row) >> 24) < 0x40)
                continue;
            if (!box)
                box = Box{column, row, column, row};
            box->left = std::min(box->left, column);
            box->right = std::max(box->right, column);
            box->top = std::min(box->top, row);
            box->bottom = std::max(box->bottom, row);
        }
    return box;
}

}

TEST(QtGraphicsContext, DrawsInPointsFromTheBottomLeft)
{
    Canvas c = canvas(40, 20, {20, 10});
    EXPECT_FALSE(c.context->isFlipped());
    c.context->fillRect(Rect(0, 0, 10, 5), Color::calibratedRGB(1, 0, 0));
    c.context.reset();
    EXPECT_EQ(c.bitmap.pixelAt(0, 19), 0xFFFF0000u);
    EXPECT_EQ(c.bitmap.pixelAt(19, 10), 0xFFFF0000u);
    EXPECT_EQ(c.bitmap.pixelAt(20, 15), 0u);
    EXPECT_EQ(c.bitmap.pixelAt(5, 9), 0u);
}

TEST(QtGraphicsContext, FillsAndStrokesOvals)
{
    Canvas filled = canvas(100, 100, {50, 50});
    filled.context->fillOval(Rect(5, 5, 40, 40), Color::calibratedRGB(0, 0, 1));
    filled.context.reset();
    EXPECT_EQ(filled.bitmap.pixelAt(50, 50), 0xFF0000FFu);
    EXPECT_EQ(filled.bitmap.pixelAt(50, 11), 0xFF0000FFu);
    // Inside the rectangle but outside the disc.
    EXPECT_EQ(filled.bitmap.pixelAt(12, 12), 0u);
    EXPECT_EQ(filled.bitmap.pixelAt(50, 8), 0u);

    Canvas stroked = canvas(100, 100, {50, 50});
    stroked.context->strokeOval(Rect(5, 5, 40, 40), 2, Color::calibratedRGB(0, 1, 0));
    stroked.context.reset();
    EXPECT_EQ(stroked.bitmap.pixelAt(50, 10), 0xFF00FF00u);
    EXPECT_EQ(stroked.bitmap.pixelAt(89, 50), 0xFF00FF00u);
    EXPECT_EQ(stroked.bitmap.pixelAt(50, 50), 0u);
    EXPECT_EQ(stroked.bitmap.pixelAt(50, 14), 0u);
}

TEST(QtGraphicsContext, OvalsAreAntialiasedBlendedAndMayBeWide)
{
    Canvas c = canvas(60, 20, {60, 20});
    c.context->fillRect(Rect(0, 0, 60, 20), Color::calibratedRGB(0, 0, 1));
    // 40 x 10 points from (10, 5): half-transparent red over blue.
    c.context->fillOval(Rect(10, 5, 40, 10), Color::calibratedRGB(1, 0, 0, 0.5));
    c.context->strokeOval(Rect(1.5, 1.5, 17, 17), 0.25, Color::white());
    c.context.reset();
    std::uint32_t centre = c.bitmap.pixelAt(30, 10);
    EXPECT_EQ(centre >> 24, 0xFFu);
    EXPECT_NEAR((centre >> 16) & 0xFF, 128, 1);
    EXPECT_NEAR(centre & 0xFF, 127, 1);
    // Along the long axis the oval reaches x = 49; across, only y = 5..14.
    EXPECT_NEAR((c.bitmap.pixelAt(48, 10) >> 16) & 0xFF, 128, 1);
    EXPECT_EQ(c.bitmap.pixelAt(51, 10), 0xFF0000FFu);
    EXPECT_EQ(c.bitmap.pixelAt(30, 3), 0xFF0000FFu);
    // The pixel where the oval begins is covered in part.
    std::uint32_t edge = c.bitmap.pixelAt(10, 10);
    EXPECT_GT((edge >> 16) & 0xFF, 20u);
    EXPECT_LT((edge >> 16) & 0xFF, 125u);
    // A quarter-point line through a pixel's centre covers a quarter of it.
    std::uint32_t thin = c.bitmap.pixelAt(10, 1);
    EXPECT_NEAR((thin >> 8) & 0xFF, 64, 2);
}

TEST(QtGraphicsContext, DrawsImagesUprightSourceOverInAnyLayout)
{
    // Top row red, bottom row blue, in the window server's layout (B G R A).
    auto native = image(2, 2, Bitmap::bitmapInfo, {0, 0, 255, 255, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255});
    Canvas upright = canvas(10, 10, {10, 10});
    upright.context->drawImage(native.get(), Rect(0, 0, 10, 10));
    upright.context->drawImage(nullptr, Rect(0, 0, 10, 10));
    upright.context.reset();
    EXPECT_EQ(upright.bitmap.pixelAt(5, 0), 0xFFFF0000u);
    EXPECT_EQ(upright.bitmap.pixelAt(5, 9), 0xFF0000FFu);

    // R G B A, premultiplied, one pixel half-covered white.
    auto rgba = image(1, 1, kCGImageAlphaPremultipliedLast, {128, 128, 128, 128});
    Canvas blended = canvas(4, 4, {4, 4});
    blended.context->fillRect(Rect(0, 0, 4, 4), Color::calibratedRGB(0, 1, 0));
    blended.context->drawImage(rgba.get(), Rect(0, 0, 2, 2));
    blended.context.reset();
    std::uint32_t mixed = blended.bitmap.pixelAt(0, 3);
    EXPECT_EQ(mixed >> 24, 0xFFu);
    EXPECT_NEAR((mixed >> 16) & 0xFF, 128, 1);
    EXPECT_NEAR((mixed >> 8) & 0xFF, 255, 1);
    EXPECT_NEAR(mixed & 0xFF, 128, 1);
    EXPECT_EQ(blended.bitmap.pixelAt(3, 0), 0xFF00FF00u);
}

TEST(QtGraphicsContext, ImagesThatLandPixelForPixelAreBlendedAndCutToTheBitmap)
{
    // Native words: half red, opaque blue, clear, a quarter grey.
    std::vector<std::uint32_t> words{0x80800000, 0xFF0000FF, 0x00000000, 0x40404040};
    auto native = CFRef<CGImageRef>::adopt(CGImageCreate(2, 2, 8, 32, 8, Bitmap::bitmapInfo, words.data(), 16));
    Canvas c = canvas(4, 4, {2, 2});
    c.context->fillRect(Rect(0, 0, 2, 2), Color::calibratedRGB(0, 1, 0));
    c.context->drawImage(native.get(), Rect(1, 1, 1, 1));
    c.context->drawImage(native.get(), Rect(-0.5, -0.5, 1, 1));
    c.context.reset();
    EXPECT_EQ(c.bitmap.pixelAt(2, 0), 0xFF807F00u);
    EXPECT_EQ(c.bitmap.pixelAt(3, 0), 0xFF0000FFu);
    EXPECT_EQ(c.bitmap.pixelAt(2, 1), 0xFF00FF00u);
    EXPECT_EQ(c.bitmap.pixelAt(3, 1), 0xFF40FF40u);
    // Only the top-right pixel of the second copy is inside the bitmap.
    EXPECT_EQ(c.bitmap.pixelAt(0, 3), 0xFF0000FFu);
    EXPECT_EQ(c.bitmap.pixelAt(0, 2), 0xFF00FF00u);
    EXPECT_EQ(c.bitmap.pixelAt(1, 3), 0xFF00FF00u);
}

TEST(QtGraphicsContext, MeasuresTextInPointsAtAnyDensity)
{
    Canvas single = canvas(10, 10, {10, 10});
    Canvas triple = canvas(30, 30, {10, 10});
    CGSize small = single.context->measureText("En", Font::boldSystemFont(10));
    CGSize large = single.context->measureText("En", Font::boldSystemFont(20));
    EXPECT_GT(small.width, 8);
    EXPECT_LT(small.width, 20);
    EXPECT_GT(small.height, 10);
    EXPECT_LT(small.height, 16);
    EXPECT_NEAR(large.width / small.width, 2.0, 0.05);
    EXPECT_NEAR(large.height / small.height, 2.0, 0.05);
    CGSize tripled = triple.context->measureText("En", Font::boldSystemFont(10));
    EXPECT_DOUBLE_EQ(tripled.width, small.width);
    EXPECT_DOUBLE_EQ(tripled.height, small.height);
    EXPECT_LT(single.context->measureText("En", Font::systemFont(10)).width, small.width);
}

TEST(QtGraphicsContext, DrawsTextCentredInItsRectangleInItsColour)
{
    Canvas c = canvas(200, 200, {100, 100});
    CGSize size = c.context->measureText("HH", Font::boldSystemFont(12));
    Rect rect(50 - size.width / 2, 50 - size.height / 2, size.width, size.height);
    c.context->drawText("HH", rect, Font::boldSystemFont(12), Color::white());
    c.context.reset();
    auto box = paintedBox(c.bitmap);
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->midX(), 100, 2);
    EXPECT_NEAR(box->midY(), 100, 3);
    // Capital letters of 12 points stand about 9 points, 18 pixels, tall.
    EXPECT_NEAR(double(box->bottom - box->top + 1), 18, 3);
    EXPECT_EQ(c.bitmap.pixelAt(box->left + 1, static_cast<std::size_t>(box->midY())), 0xFFFFFFFFu);
}

TEST(QtGraphicsContext, FindsGlyphsForLatinCyrillicAndCjkBadges)
{
    QFont font = QtGraphicsContext::qtFont(Font::boldSystemFont(10));
    EXPECT_TRUE(font.bold());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 10);
    for (const char* text : {"En", "Ру", "Ук", "Їж", "简", "繁", "日本", "あア"}) {
        QTextLayout layout(QString::fromUtf8(text), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : layout.glyphRuns())
            for (quint32 index : run.glyphIndexes()) {
                EXPECT_NE(index, 0u) << text << " in " << run.rawFont().familyName().toStdString();
                ++glyphs;
            }
        EXPECT_EQ(glyphs, QString::fromUtf8(text).size()) << text;
    }
}
