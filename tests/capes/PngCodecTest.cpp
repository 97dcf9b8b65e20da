#include "CapeTestSupport.h"

#include "platform/graphics/PngCodec.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

using namespace CapeTestSupport;

TEST(PngCodec, EveryPremultipliedPixelSurvivesARoundTrip)
{
    // Column = alpha, row = the colour value; values above alpha do not exist premultiplied.
    auto image = makeImage(256, 256, [](std::size_t alpha, std::size_t value) {
        std::uint32_t v = static_cast<std::uint32_t>(std::min(value, alpha));
        return static_cast<std::uint32_t>(alpha) << 24 | v << 16 | (static_cast<std::uint32_t>(alpha) - v) << 8 | v / 2;
    });
    auto png = PngCodec::encode(image.get());
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->starts_with("\x89PNG"));
    auto decoded = PngCodec::decode(*png, 256 * 256);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(CGImageGetWidth(decoded.get()), 256u);
    EXPECT_EQ(CGImageGetHeight(decoded.get()), 256u);
    EXPECT_EQ(CGImageGetBitmapInfo(decoded.get()), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host);
    EXPECT_EQ(pixelsOf(decoded.get()), pixelsOf(image.get()));
    EXPECT_EQ(PngCodec::asDecoded(image.get()).get(), image.get()) << "already in the decoded layout";

    // The same pixels give the same file, which is what lets unchanged capes be recognised.
    EXPECT_EQ(PngCodec::encode(image.get()), png);
}

TEST(PngCodec, OpaqueImagesOfOtherLayoutsAreEncodedByTheirPixels)
{
    std::vector<std::uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    auto image = CFRef<CGImageRef>::adopt(CGImageCreate(2, 2, 8, 24, 6, kCGImageAlphaNone, rgb.data(), rgb.size()));
    ASSERT_TRUE(image);
    auto decoded = PngCodec::decode(*PngCodec::encode(image.get()), 4);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(pixelsOf(decoded.get()), (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0A141E}));
    auto asDecoded = PngCodec::asDecoded(image.get());
    EXPECT_EQ(CGImageGetBitmapInfo(asDecoded.get()), CGImageGetBitmapInfo(decoded.get()));
    EXPECT_EQ(pixelsOf(asDecoded.get()), pixelsOf(decoded.get()));
    EXPECT_FALSE(PngCodec::encode(nullptr));

    // Encoded on several threads, every file still lands at its image's place.
    std::vector<CFRef<CGImageRef>> owned;
    std::vector<CGImageRef> images;
    for (unsigned seed = 0; seed < 40; ++seed)
        images.push_back(owned.emplace_back(patternImage(8 + seed, 8, seed)).get());
    images[5] = nullptr;
    auto files = PngCodec::encodeAll(images);
    ASSERT_EQ(files.size(), images.size());
    for (std::size_t i = 0; i < images.size(); ++i)
        EXPECT_EQ(files[i], PngCodec::encode(images[i])) << i;
}

TEST(PngCodec, DecodeRefusesWhatIsNotAPngWithinTheLimit)
{
    auto image = patternImage(100, 100);
    std::string png = *PngCodec::encode(image.get());
    EXPECT_TRUE(PngCodec::decode(png, 100 * 100));
    EXPECT_FALSE(PngCodec::decode(png, 100 * 100 - 1));
    EXPECT_FALSE(PngCodec::decode(png, 0));

    EXPECT_FALSE(PngCodec::decode("", 1 << 20));
    EXPECT_FALSE(PngCodec::decode(png.substr(0, 40), 1 << 20));
    EXPECT_FALSE(PngCodec::decode(png.substr(0, png.size() / 2), 1 << 20));
    EXPECT_FALSE(PngCodec::decode(std::string(png.size(), 'x'), 1 << 20));

    // Formats the toolkit could read are still not PNG files.
    QImage bmp(8, 8, QImage::Format_ARGB32);
    bmp.fill(Qt::red);
    QByteArray other;
    QBuffer buffer(&other);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(bmp.save(&buffer, "BMP"));
    EXPECT_FALSE(PngCodec::decode(std::string_view(other.constData(), static_cast<std::size_t>(other.size())), 64));
}
