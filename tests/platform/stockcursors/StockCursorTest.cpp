#include "platform/stockcursors/StockCursor.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros such as None.
#include <X11/Xcursor/Xcursor.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// libXcursor reads XCURSOR_PATH once per process, so every test shares one
// search path that holds only the themes the tests write into it.
class ThemeDirectory : public ::testing::Environment {
public:
    ThemeDirectory()
    {
        char pattern[] = "/tmp/tarnwick-cursor-themes-XXXXXX";
        path = mkdtemp(pattern);
        setenv("XCURSOR_PATH", path.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(path); }

    std::string path;
};

ThemeDirectory* const themes =
    static_cast<ThemeDirectory*>(::testing::AddGlobalTestEnvironment(new ThemeDirectory));

struct ThemeImage {
    unsigned nominal;
    unsigned side;
    unsigned xhot, yhot;
    XcursorPixel colour;
};

void writeCursor(const std::string& theme, const std::string& name, const std::vector<ThemeImage>& images)
{
    fs::path folder = fs::path(themes->path) / theme / "cursors";
    fs::create_directories(folder);
    XcursorImages* file = XcursorImagesCreate(static_cast<int>(images.size()));
    for (const ThemeImage& wanted : images) {
        XcursorImage* image = XcursorImageCreate(static_cast<int>(wanted.side), static_cast<int>(wanted.side));
        image->size = wanted.nominal;
        image->xhot = wanted.xhot;
        image->yhot = wanted.yhot;
        for (unsigned i = 0; i < wanted.side * wanted.side; ++i)
            image->pixels[i] = wanted.colour;
        file->images[file->nimage++] = image;
    }
    ASSERT_TRUE(XcursorFilenameSaveImages((folder / name).c_str(), file));
    XcursorImagesDestroy(file);
}

std::uint32_t firstPixel(const CFRef<CGImageRef>& image)
{
    std::vector<std::uint32_t> pixels(CGImageGetWidth(image.get()) * CGImageGetHeight(image.get()));
    EXPECT_TRUE(CGImageCopyARGB32Premultiplied(image.get(), pixels.data(), pixels.size()));
    return pixels.empty() ? 0 : pixels[0];
}

std::uint32_t pixelAt(const CFRef<CGImageRef>& image, std::size_t x, std::size_t y)
{
    std::size_t width = CGImageGetWidth(image.get());
    std::vector<std::uint32_t> pixels(width * CGImageGetHeight(image.get()));
    EXPECT_TRUE(CGImageCopyARGB32Premultiplied(image.get(), pixels.data(), pixels.size()));
    return pixels.at(y * width + x);
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            saved_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

constexpr XcursorPixel red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;

TEST(StockCursorTheme, PadsTheUsersSizeIntoASquareAThirdLargerAndTakesTheNearestSizeForEachScale)
{
    writeCursor("sizes", "left_ptr", {{24, 24, 3, 2, red}, {48, 48, 6, 4, green}, {96, 96, 12, 8, blue}});
    ScopedEnvironment theme("XCURSOR_THEME", "sizes");
    ScopedEnvironment size("XCURSOR_SIZE", nullptr);

    StockCursor arrow = StockCursor::load(StockCursor::Shape::arrow);
    ASSERT_TRUE(arrow.isFromTheme());
    EXPECT_EQ(arrow.size().width, 32);
    EXPECT_EQ(arrow.size().height, 32);
    EXPECT_EQ(arrow.hotSpot().x, 3);
    EXPECT_EQ(arrow.hotSpot().y, 2);
    EXPECT_EQ(CGImageGetWidth(arrow.image().get()), 32u);
    EXPECT_EQ(firstPixel(arrow.image()), red);
    EXPECT_EQ(pixelAt(arrow.image(), 23, 23), red);
    EXPECT_EQ(pixelAt(arrow.image(), 24, 23), 0u) << "clear beside the theme's image";
    EXPECT_EQ(pixelAt(arrow.image(), 23, 24), 0u) << "clear below the theme's image";

    // Each size at its own whole number of pixels per point.
    CFRef<CGImageRef> double_ = arrow.image(2);
    EXPECT_EQ(CGImageGetWidth(double_.get()), 64u);
    EXPECT_EQ(firstPixel(double_), green);
    EXPECT_EQ(pixelAt(double_, 48, 0), 0u);
    // Past the theme's largest size, the largest is the best there is.
    CFRef<CGImageRef> tenfold = arrow.image(10);
    EXPECT_EQ(CGImageGetWidth(tenfold.get()), 128u);
    EXPECT_EQ(firstPixel(tenfold), blue);
    EXPECT_EQ(CGImageGetWidth(arrow.image(5).get()), 128u);
}

TEST(StockCursorTheme, TakesTheUsersCursorSizeAsPixelsPerPoint)
{
    writeCursor("bigger", "xterm", {{24, 24, 11, 11, red}, {48, 48, 22, 23, green}});
    ScopedEnvironment theme("XCURSOR_THEME", "bigger");
    ScopedEnvironment size("XCURSOR_SIZE", "48");

    StockCursor iBeam = StockCursor::load(StockCursor::Shape::iBeam);
    ASSERT_TRUE(iBeam.isFromTheme());
    // A 48 px theme is a 2x image of a 24-point cursor.
    EXPECT_EQ(iBeam.size().width, 32);
    EXPECT_EQ(iBeam.hotSpot().x, 11);
    EXPECT_EQ(iBeam.hotSpot().y, 11.5);
    EXPECT_EQ(CGImageGetWidth(iBeam.image().get()), 64u);
    EXPECT_EQ(firstPixel(iBeam.image()), green);
    EXPECT_EQ(firstPixel(iBeam.image(1)), red);
}

TEST(StockCursorTheme, FindsTheShapesUnderTheirOtherNamesAndThroughTheDefaultTheme)
{
    writeCursor("modern", "default", {{24, 20, 1, 1, red}});
    writeCursor("modern", "text", {{24, 10, 5, 9, green}});
    writeCursor("default", "pointer", {{24, 22, 7, 2, blue}});
    ScopedEnvironment theme("XCURSOR_THEME", "modern");
    ScopedEnvironment size("XCURSOR_SIZE", nullptr);

    EXPECT_EQ(firstPixel(StockCursor::load(StockCursor::Shape::arrow).image()), red);
    EXPECT_EQ(firstPixel(StockCursor::load(StockCursor::Shape::iBeam).image()), green);
    StockCursor hand = StockCursor::load(StockCursor::Shape::pointingHand);
    ASSERT_TRUE(hand.isFromTheme());
    EXPECT_EQ(hand.size().width, 32);
    EXPECT_EQ(hand.hotSpot().x, 7);
    EXPECT_EQ(firstPixel(hand.image()), blue);
    fs::remove_all(fs::path(themes->path) / "default");
}

TEST(StockCursorDrawing, StandsInWhenNoThemeHasTheShape)
{
    ScopedEnvironment theme("XCURSOR_THEME", "not-installed");
    ScopedEnvironment size("XCURSOR_SIZE", nullptr);

    for (auto shape : {StockCursor::Shape::arrow, StockCursor::Shape::iBeam, StockCursor::Shape::pointingHand}) {
        StockCursor cursor = StockCursor::load(shape);
        EXPECT_FALSE(cursor.isFromTheme());
        EXPECT_EQ(cursor.size().width, 32);
        EXPECT_EQ(cursor.size().height, 32);
        CFRef<CGImageRef> image = cursor.image();
        ASSERT_TRUE(image);
        EXPECT_EQ(CGImageGetWidth(image.get()), 32u);
        // The hot spot lies on the drawing, and the corners stay clear.
        auto hot = pixelAt(image, static_cast<std::size_t>(cursor.hotSpot().x),
                           static_cast<std::size_t>(cursor.hotSpot().y));
        EXPECT_GT(hot >> 24, 0u) << "shape " << static_cast<int>(shape);
        EXPECT_EQ(pixelAt(image, 23, 0), 0u);
        EXPECT_EQ(pixelAt(image, 0, 23), 0u);
        EXPECT_EQ(pixelAt(image, 31, 31), 0u);
        // Drawn afresh at every scale, to the pixel.
        EXPECT_EQ(CGImageGetWidth(cursor.image(10).get()), 320u);
        EXPECT_EQ(CGImageGetHeight(cursor.image(2.5).get()), 80u);
    }
    StockCursor arrow = StockCursor::load(StockCursor::Shape::arrow);
    EXPECT_EQ(arrow.hotSpot().x, 5);
    EXPECT_EQ(arrow.hotSpot().y, 3);
    // A black arrow with a white edge, a white hand with a black edge.
    EXPECT_EQ(pixelAt(arrow.image(), 7, 12), 0xFF000000u);
    StockCursor hand = StockCursor::load(StockCursor::Shape::pointingHand);
    EXPECT_EQ(pixelAt(hand.image(), 13, 17), 0xFFFFFFFFu);
    EXPECT_FALSE(arrow.image(0));
}

TEST(StockCursorDrawing, FollowsTheUsersCursorSize)
{
    ScopedEnvironment theme("XCURSOR_THEME", "not-installed");
    ScopedEnvironment size("XCURSOR_SIZE", "48");

    StockCursor arrow = StockCursor::load(StockCursor::Shape::arrow);
    EXPECT_EQ(arrow.size().width, 32);
    EXPECT_EQ(arrow.hotSpot().x, 5);
    EXPECT_EQ(arrow.hotSpot().y, 3);
    EXPECT_EQ(CGImageGetWidth(arrow.image().get()), 64u);
    EXPECT_EQ(CGImageGetWidth(arrow.image(2).get()), 64u);
}

TEST(StockCursorDrawing, IgnoresAnUnusableSizeSetting)
{
    ScopedEnvironment theme("XCURSOR_THEME", "not-installed");
    for (const char* value : {"", "big", "0", "-3", "24px", "100000"}) {
        ScopedEnvironment size("XCURSOR_SIZE", value);
        EXPECT_EQ(CGImageGetWidth(StockCursor::load(StockCursor::Shape::iBeam).image().get()), 32u) << value;
    }
}

}
