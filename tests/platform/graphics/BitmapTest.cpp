#include "platform/graphics/Bitmap.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

TEST(Bitmap, RefusesEmptyAndOversizedSurfaces)
{
    EXPECT_FALSE(Bitmap::create(0, 10));
    EXPECT_FALSE(Bitmap::create(10, 0));
    EXPECT_FALSE(Bitmap::create(Bitmap::maximumSide + 1, 1));
    EXPECT_FALSE(Bitmap::create(1, Bitmap::maximumSide + 1));
    EXPECT_FALSE(Bitmap::create(Bitmap::maximumSide, Bitmap::maximumSide));
    EXPECT_TRUE(Bitmap::create(Bitmap::maximumSide, 1));
}

TEST(Bitmap, StartsTransparentWithOnePointPerPixel)
{
    auto bitmap = Bitmap::create(7, 3);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->bytesPerRow(), 28u);
    EXPECT_EQ(bitmap->size().width, 7);
    EXPECT_EQ(bitmap->size().height, 3);
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t column = 0; column < 7; ++column)
            EXPECT_EQ(bitmap->pixelAt(column, row), 0u);
}

TEST(Bitmap, ImagesCopyThePixelsInTheWindowServersLayout)
{
    auto bitmap = Bitmap::create(2, 2);
    ASSERT_TRUE(bitmap);
    bitmap->pixels()[1] = 0x80402010;
    CFRef<CGImageRef> image = bitmap->makeImage();
    bitmap->pixels()[1] = 0;
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image.get()), 2u);
    EXPECT_EQ(CGImageGetBytesPerRow(image.get()), 8u);
    EXPECT_EQ(CGImageGetAlphaInfo(image.get()), kCGImageAlphaPremultipliedFirst);
    EXPECT_EQ(CGImageGetBitmapInfo(image.get()), 8194u);
    // B G R A in memory.
    const uint8_t* bytes = CGImageGetBytePointer(image.get());
    EXPECT_EQ(bytes[4], 0x10);
    EXPECT_EQ(bytes[5], 0x20);
    EXPECT_EQ(bytes[6], 0x40);
    EXPECT_EQ(bytes[7], 0x80);
}

TEST(Bitmap, ComesFromImagesOfAnyLayout)
{
    const std::uint8_t rgba[] = {255, 0, 0, 255, 0, 0, 255, 128};
    auto image = CFRef<CGImageRef>::adopt(CGImageCreate(2, 1, 8, 32, 8, kCGImageAlphaLast, rgba, sizeof rgba));
    auto bitmap = Bitmap::fromImage(image.get());
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->size().width, 2);
    EXPECT_EQ(bitmap->pixelAt(0, 0), 0xFFFF0000u);
    EXPECT_EQ(bitmap->pixelAt(1, 0), 0x80000080u);
    EXPECT_FALSE(Bitmap::fromImage(nullptr));
}

TEST(Bitmap, WritesPngFiles)
{
    auto bitmap = Bitmap::create(3, 2);
    ASSERT_TRUE(bitmap);
    bitmap->pixels()[0] = 0xFF00FF00;
    bitmap->pixels()[5] = 0x80800000;
    std::string path = std::filesystem::temp_directory_path() / "tarnwick-bitmap-test.png";
    ASSERT_TRUE(bitmap->writePNG(path));
    QImage read(QString::fromStdString(path));
    std::filesystem::remove(path);
    ASSERT_EQ(read.width(), 3);
    EXPECT_EQ(read.pixel(0, 0), 0xFF00FF00u);
    // Stored unpremultiplied: half-transparent full red.
    EXPECT_EQ(qAlpha(read.pixel(2, 1)), 0x80);
    EXPECT_EQ(qRed(read.pixel(2, 1)), 0xFF);
    EXPECT_FALSE(bitmap->writePNG("/nonexistent-folder/picture.png"));
}
