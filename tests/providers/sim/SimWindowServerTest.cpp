#include "providers/sim/SimWindowServer.h"

#include "platform/graphics/cgimage/CFRef.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr CGSConnectionID connection = SimWindowServerInitialConnectionID;

struct Copied {
    CGSError status = -1;
    CGSize size{};
    CGPoint hotSpot{};
    uint64_t frameCount = 0;
    CGFloat frameDuration = -1;
    CFRef<CFArrayRef> images;
};

Copied copyRegistered(const char* name)
{
    Copied copied;
    CFArrayRef images = nullptr;
    copied.status = CGSCopyRegisteredCursorImages(connection, name, &copied.size, &copied.hotSpot, &copied.frameCount,
                                                  &copied.frameDuration, &images);
    copied.images = CFRef<CFArrayRef>::adopt(images);
    return copied;
}

Copied copyNumbered(CGSCursorID cursor)
{
    Copied copied;
    CFArrayRef images = nullptr;
    copied.status = CoreCursorCopyImages(connection, cursor, &images, &copied.size, &copied.hotSpot,
                                         &copied.frameCount, &copied.frameDuration);
    copied.images = CFRef<CFArrayRef>::adopt(images);
    return copied;
}

CGImageRef imageAt(const CFRef<CFArrayRef>& images, CFIndex index)
{
    return static_cast<CGImageRef>(CFArrayGetValueAtIndex(images.get(), index));
}

CFRef<CGImageRef> solidImage(size_t width, size_t height, uint8_t blue)
{
    std::vector<uint8_t> bytes(width * height * 4);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        bytes[i] = blue;
        bytes[i + 3] = 0xFF;
    }
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
                                                  bytes.data(), bytes.size()));
}

CFRef<CFArrayRef> listOf(const std::vector<CFTypeRef>& values)
{
    return CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
}

std::vector<uint32_t> pixelsOf(CGImageRef image)
{
    std::vector<uint32_t> pixels(CGImageGetWidth(image) * CGImageGetHeight(image));
    EXPECT_TRUE(CGImageCopyARGB32Premultiplied(image, pixels.data(), pixels.size()));
    return pixels;
}

uint32_t pixelAt(CGImageRef image, size_t column, size_t row)
{
    return pixelsOf(image)[row * CGImageGetWidth(image) + column];
}

struct GlobalData {
    CGSError sizeStatus = -1;
    int32_t reported = 0;
    CGSError dataStatus = -1;
    int32_t written = 0;
    std::vector<uint8_t> bytes;
    CGSize size{};
    CGPoint hotSpot{};
    int32_t depth = 0, components = 0, bitsPerComponent = 0, reserved = -1;
};

GlobalData readGlobalData()
{
    GlobalData data;
    data.sizeStatus = CGSGetGlobalCursorDataSize(connection, &data.reported);
    if (data.sizeStatus != 0 || data.reported < 1)
        return data;
    data.bytes.assign(static_cast<size_t>(data.reported), 0);
    data.written = data.reported;
    data.dataStatus = CGSGetGlobalCursorData(connection, data.bytes.data(), &data.written, &data.size,
                                             &data.hotSpot, &data.depth, &data.components, &data.bitsPerComponent,
                                             &data.reserved);
    data.bytes.resize(static_cast<size_t>(std::max(data.written, 0)));
    return data;
}

std::vector<uint8_t> bytesOf(const std::vector<uint32_t>& pixels)
{
    std::vector<uint8_t> bytes(pixels.size() * 4);
    std::memcpy(bytes.data(), pixels.data(), bytes.size());
    return bytes;
}

std::string currentName()
{
    std::string name(SimWindowServerCurrentCursorName(nullptr, 0), '\0');
    SimWindowServerCurrentCursorName(name.data(), name.size() + 1);
    return name;
}

class SimWindowServerTest : public ::testing::Test {
protected:
    void SetUp() override { SimWindowServerReset(); }
    void TearDown() override { SimWindowServerReset(); }
};

TEST_F(SimWindowServerTest, StockCursorsAreDrawnAtOneAndTwoPixelsPerPoint)
{
    for (const char* name : {"com.apple.coregraphics.Arrow", "com.apple.coregraphics.IBeam", "com.apple.cursor.13",
                             "com.apple.coregraphics.ResizeLeftRight", "com.apple.coregraphics.ResizeUpDown",
                             "com.apple.coregraphics.ResizeNorthWestSouthEast",
                             "com.apple.coregraphics.ResizeNorthEastSouthWest", "com.apple.coregraphics.GlobalCurrent",
                             "com.apple.coregraphics.ConnectionCurrent"}) {
        SCOPED_TRACE(name);
        Copied cursor = copyRegistered(name);
        ASSERT_EQ(cursor.status, 0);
        EXPECT_EQ(cursor.size.width, 24.0);
        EXPECT_EQ(cursor.size.height, 24.0);
        EXPECT_EQ(cursor.frameCount, 1u);
        ASSERT_EQ(CFArrayGetCount(cursor.images.get()), 2);
        CGImageRef single = imageAt(cursor.images, 0), twice = imageAt(cursor.images, 1);
        EXPECT_EQ(CGImageGetWidth(single), 24u);
        EXPECT_EQ(CGImageGetWidth(twice), 48u);
        EXPECT_EQ(CGImageGetHeight(twice), 48u);
        // The hot spot is on the drawing, at both densities.
        auto x = static_cast<size_t>(cursor.hotSpot.x), y = static_cast<size_t>(cursor.hotSpot.y);
        EXPECT_NE(pixelAt(single, x, y) >> 24, 0u);
        EXPECT_NE(pixelAt(twice, 2 * x, 2 * y) >> 24, 0u);
        // A corner is clear: the shape is drawn, not a filled square.
        EXPECT_EQ(pixelAt(single, 23, 0), 0u);
    }

    Copied arrow = copyRegistered("com.apple.coregraphics.Arrow");
    Copied iBeam = copyRegistered("com.apple.coregraphics.IBeam");
    Copied hand = copyRegistered("com.apple.coregraphics.PointingHand");
    EXPECT_LT(arrow.hotSpot.x / arrow.size.width, 0.3);
    EXPECT_LT(arrow.hotSpot.y / arrow.size.height, 0.3);
    EXPECT_EQ(iBeam.hotSpot.x, 12.0);
    EXPECT_LT(hand.hotSpot.y / hand.size.height, 0.3);
    EXPECT_NE(pixelsOf(imageAt(arrow.images, 0)), pixelsOf(imageAt(iBeam.images, 0)));
    EXPECT_NE(pixelsOf(imageAt(arrow.images, 0)), pixelsOf(imageAt(hand.images, 0)));
}

TEST_F(SimWindowServerTest, WaitCursorIsAnimatedWithItsFramesStacked)
{
    Copied wait = copyRegistered("com.apple.coregraphics.Wait");
    ASSERT_EQ(wait.status, 0);
    EXPECT_EQ(wait.frameCount, 4u);
    EXPECT_GT(wait.frameDuration, 0.0);
    ASSERT_EQ(CFArrayGetCount(wait.images.get()), 2);
    CGImageRef strip = imageAt(wait.images, 0);
    EXPECT_EQ(CGImageGetWidth(strip), 24u);
    EXPECT_EQ(CGImageGetHeight(strip), 96u);
    EXPECT_EQ(CGImageGetHeight(imageAt(wait.images, 1)), 192u);
    auto pixels = pixelsOf(strip);
    std::vector<uint32_t> first(pixels.begin(), pixels.begin() + 24 * 24);
    std::vector<uint32_t> second(pixels.begin() + 24 * 24, pixels.begin() + 2 * 24 * 24);
    EXPECT_NE(first, second);
}

TEST_F(SimWindowServerTest, NumberedCursorsAreTheirComAppleCursorNames)
{
    EXPECT_STREQ(CGSCursorNameForSystemCursor(0), "com.apple.coregraphics.Arrow");
    EXPECT_STREQ(SLSCursorNameForSystemCursor(1), "com.apple.coregraphics.IBeam");
    EXPECT_STREQ(CGSCursorNameForSystemCursor(13), "com.apple.coregraphics.PointingHand");
    EXPECT_EQ(CGSCursorNameForSystemCursor(7), nullptr);
    EXPECT_EQ(CGSCursorNameForSystemCursor(-1), nullptr);

    // Only arrow cursors carry "arrow" in their names, whatever the case.
    std::set<std::string> arrows;
    for (CGSCursorID cursor = 0; cursor < 512; ++cursor) {
        const char* name = CGSCursorNameForSystemCursor(cursor);
        std::string lower = name ? name : "";
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find("arrow") != std::string::npos)
            arrows.insert(name);
    }
    EXPECT_EQ(arrows, (std::set<std::string>{"com.apple.coregraphics.Arrow", "com.apple.coregraphics.ArrowCtx",
                                             "com.apple.coregraphics.ArrowS"}));

    Copied hand = copyNumbered(13);
    ASSERT_EQ(hand.status, 0);
    EXPECT_EQ(pixelsOf(imageAt(hand.images, 0)),
              pixelsOf(imageAt(copyRegistered("com.apple.coregraphics.PointingHand").images, 0)));
    EXPECT_EQ(copyNumbered(7).status, SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(copyRegistered("com.apple.cursor.7").status, SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(copyRegistered("com.apple.cursor.013").status, SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(copyRegistered("com.apple.coregraphics.Nothing").status, SimWindowServerErrorIllegalArgument);

    // Registering "com.apple.cursor.13" changes numbered cursor 13 and nothing else.
    auto image = solidImage(8, 8, 0x40);
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSRegisterCursorWithImage(connection, "com.apple.cursor.13", true, true, 0, image.get(), {8, 8},
                                         {1, 1}, &seed, 1.0, 1.0),
              0);
    EXPECT_EQ(imageAt(copyNumbered(13).images, 0), image.get());
    EXPECT_NE(imageAt(copyRegistered("com.apple.coregraphics.PointingHand").images, 0), image.get());
}

TEST_F(SimWindowServerTest, RegistrationReplacesWhatANameShowsAndCopiesGiveItBack)
{
    const char* arrow = "com.apple.coregraphics.Arrow";
    auto small = solidImage(32, 32, 0x10), large = solidImage(64, 64, 0x20), third = solidImage(32, 32, 0x30);
    {
        auto images = listOf({small.get(), large.get(), third.get()});
        CGSCursorSeed seed = 0;
        ASSERT_EQ(CGSRegisterCursorWithImages(connection, arrow, true, false, {32, 32}, {4, 5}, 3, 0.25,
                                              images.get(), &seed),
                  0);
        EXPECT_NE(seed, 0);
    }
    EXPECT_TRUE(SimWindowServerIsRegistered(arrow));
    EXPECT_EQ(SimWindowServerRegisteredCount(), 1u);
    EXPECT_EQ(CFGetRetainCount(small.get()), 2);

    {
        Copied copied = copyRegistered(arrow);
        ASSERT_EQ(copied.status, 0);
        EXPECT_EQ(copied.size.width, 32.0);
        EXPECT_EQ(copied.hotSpot.x, 4.0);
        EXPECT_EQ(copied.hotSpot.y, 5.0);
        EXPECT_EQ(copied.frameCount, 3u);
        EXPECT_EQ(copied.frameDuration, 0.25);
        ASSERT_EQ(CFArrayGetCount(copied.images.get()), 3);
        EXPECT_EQ(imageAt(copied.images, 0), small.get());
        EXPECT_EQ(imageAt(copied.images, 1), large.get());
        EXPECT_EQ(imageAt(copied.images, 2), third.get());
        EXPECT_EQ(CFGetRetainCount(copied.images.get()), 1);

        CGPoint hotSpot{};
        auto created = CFRef<CGImageRef>::adopt(SLSCreateRegisteredCursorImage(connection, arrow, &hotSpot));
        EXPECT_EQ(created.get(), small.get());
        EXPECT_EQ(hotSpot.y, 5.0);

        SimCursorContents contents{};
        ASSERT_TRUE(SimWindowServerCopyCursor(arrow, &contents));
        auto held = CFRef<CFArrayRef>::adopt(contents.images);
        EXPECT_TRUE(contents.registered);
        EXPECT_EQ(contents.frameCount, 3u);
        EXPECT_EQ(CFArrayGetCount(held.get()), 3);
    }
    // Every copy above was released.
    EXPECT_EQ(CFGetRetainCount(small.get()), 2);

    // The single-image call replaces the whole registration.
    CGSCursorSeed seed = 0;
    ASSERT_EQ(SLSRegisterCursorWithImage(connection, arrow, true, true, 0, large.get(), {32, 32}, {6, 6}, &seed, 1.0,
                                         1.0),
              0);
    Copied replaced = copyRegistered(arrow);
    EXPECT_EQ(replaced.frameCount, 1u);
    EXPECT_EQ(replaced.frameDuration, 0.0);
    ASSERT_EQ(CFArrayGetCount(replaced.images.get()), 1);
    EXPECT_EQ(imageAt(replaced.images, 0), large.get());
    EXPECT_EQ(CFGetRetainCount(small.get()), 1);

    // Unregistering everything brings the stock cursor back and lets go of the images.
    replaced = Copied();
    ASSERT_EQ(CoreCursorUnregisterAll(connection), 0);
    EXPECT_EQ(SimWindowServerRegisteredCount(), 0u);
    EXPECT_EQ(CFGetRetainCount(large.get()), 1);
    SimCursorContents stock{};
    ASSERT_TRUE(SimWindowServerCopyCursor(arrow, &stock));
    CFRelease(stock.images);
    EXPECT_FALSE(stock.registered);
    EXPECT_EQ(stock.size.width, 24.0);

    // A name the window server did not know is known once registered, and removable.
    EXPECT_FALSE(SimWindowServerCopyCursor("org.example.Custom", &stock));
    ASSERT_EQ(CGSRegisterCursorWithImage(connection, "org.example.Custom", false, false, 0, third.get(), {32, 32},
                                         {0, 0}, &seed, 1.0, 1.0),
              0);
    EXPECT_EQ(copyRegistered("org.example.Custom").status, 0);
    EXPECT_EQ(CGSRemoveRegisteredCursor(connection, "org.example.Custom", false), 0);
    EXPECT_EQ(CGSRemoveRegisteredCursor(connection, "org.example.Custom", false), SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(copyRegistered("org.example.Custom").status, SimWindowServerErrorIllegalArgument);
}

TEST_F(SimWindowServerTest, RegistrationRefusesWhatNoWindowServerCouldShow)
{
    auto image = solidImage(8, 8, 1);
    auto event = CFRef<CGEventRef>::adopt(CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, {1, 1}, 0));
    auto mixed = listOf({image.get(), event.get()});
    auto empty = listOf({});
    auto good = listOf({image.get()});
    CGSCursorSeed seed = 0;
    const char* name = "com.apple.coregraphics.Arrow";
    EXPECT_EQ(CGSRegisterCursorWithImages(connection, name, true, true, {8, 8}, {0, 0}, 1, 0, mixed.get(), &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSRegisterCursorWithImages(connection, name, true, true, {8, 8}, {0, 0}, 1, 0, empty.get(), &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSRegisterCursorWithImages(connection, name, true, true, {8, 8}, {0, 0}, 0, 0, good.get(), &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSRegisterCursorWithImages(connection, name, true, true, {0, 8}, {0, 0}, 1, 0, good.get(), &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSRegisterCursorWithImages(connection, "", true, true, {8, 8}, {0, 0}, 1, 0, good.get(), &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSRegisterCursorWithImage(connection, nullptr, true, true, 0, image.get(), {8, 8}, {0, 0}, &seed, 1, 1),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(seed, 0);
    EXPECT_EQ(SimWindowServerRegisteredCount(), 0u);
    EXPECT_EQ(CFGetRetainCount(image.get()), 3);
}

TEST_F(SimWindowServerTest, EveryActivationGivesANewSeedAndPutsItsCursorOnScreen)
{
    EXPECT_EQ(CGSCurrentCursorSeed(), SimWindowServerInitialSeed);
    EXPECT_EQ(currentName(), "com.apple.cursor.0");

    std::set<CGSCursorSeed> seeds{CGSCurrentCursorSeed()};
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.IBeam", &seed), 0);
    EXPECT_EQ(seed, CGSCurrentCursorSeed());
    EXPECT_EQ(currentName(), "com.apple.coregraphics.IBeam");
    seeds.insert(seed);

    ASSERT_EQ(CoreCursorSet(connection, 13), 0);
    EXPECT_EQ(currentName(), "com.apple.cursor.13");
    seeds.insert(SLSCurrentCursorSeed());
    ASSERT_EQ(CoreCursorSetAndReturnSeed(connection, 13, &seed), 0);
    EXPECT_EQ(seed, CGSCurrentCursorSeed());
    seeds.insert(seed);
    ASSERT_EQ(CGSSetSystemDefinedCursor(connection, 1), 0);
    seeds.insert(CGSCurrentCursorSeed());
    seed = 0;
    SLSSetSystemDefinedCursorWithSeed(connection, 0, &seed);
    EXPECT_EQ(seed, CGSCurrentCursorSeed());
    seeds.insert(seed);
    // Activating the same cursor again is still an activation.
    ASSERT_EQ(CGSSetRegisteredCursor(connection, "com.apple.cursor.0", &seed), 0);
    seeds.insert(seed);
    EXPECT_EQ(seeds.size(), 7u);

    // A failed activation changes nothing.
    CGSCursorSeed before = CGSCurrentCursorSeed();
    seed = 0;
    EXPECT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.Nothing", &seed),
              SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CoreCursorSet(connection, 7), SimWindowServerErrorIllegalArgument);
    CGSSetSystemDefinedCursorWithSeed(connection, 7, &seed);
    EXPECT_EQ(seed, 0);
    EXPECT_EQ(CGSCurrentCursorSeed(), before);
    EXPECT_EQ(currentName(), "com.apple.cursor.0");
    EXPECT_EQ(SimWindowServerCurrentSeed(), before);
}

TEST_F(SimWindowServerTest, GlobalBytesAreTheFirstImageOfTheCursorLastActivated)
{
    GlobalData start = readGlobalData();
    ASSERT_EQ(start.sizeStatus, 0);
    ASSERT_EQ(start.dataStatus, 0);
    Copied arrow = copyNumbered(0);
    EXPECT_EQ(start.bytes, bytesOf(pixelsOf(imageAt(arrow.images, 0))));
    EXPECT_EQ(start.written, 24 * 24 * 4);
    EXPECT_EQ(start.size.width, 24.0);
    EXPECT_EQ(start.hotSpot.x, arrow.hotSpot.x);
    EXPECT_EQ(start.depth, 32);
    EXPECT_EQ(start.components, 4);
    EXPECT_EQ(start.bitsPerComponent, 8);
    EXPECT_EQ(start.reserved, 0);

    // Registering the name on screen does not change the screen; activating it does.
    const char* name = "com.apple.coregraphics.GlobalCurrent";
    auto decorated = solidImage(40, 30, 0xAB), sharp = solidImage(80, 60, 0xCD);
    auto images = listOf({decorated.get(), sharp.get()});
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSSetRegisteredCursor(connection, name, &seed), 0);
    ASSERT_EQ(CGSRegisterCursorWithImages(connection, name, true, true, {40, 30}, {10, 3}, 1, 0, images.get(), &seed),
              0);
    EXPECT_EQ(readGlobalData().bytes, start.bytes);
    ASSERT_EQ(CGSSetRegisteredCursor(connection, name, &seed), 0);
    GlobalData shown = readGlobalData();
    EXPECT_EQ(shown.bytes, bytesOf(pixelsOf(decorated.get())));
    EXPECT_EQ(shown.size.width, 40.0);
    EXPECT_EQ(shown.size.height, 30.0);
    EXPECT_EQ(shown.hotSpot.x, 10.0);

    SimCursorContents current{};
    ASSERT_TRUE(SimWindowServerCopyCurrentCursor(&current));
    auto held = CFRef<CFArrayRef>::adopt(current.images);
    EXPECT_TRUE(current.registered);
    EXPECT_EQ(CFArrayGetValueAtIndex(held.get(), 1), sharp.get());

    // Hot spots are reported in pixels when an image is denser than its size in points.
    ASSERT_EQ(CGSRegisterCursorWithImage(connection, name, true, true, 0, sharp.get(), {40, 30}, {10, 3}, &seed, 1, 1),
              0);
    ASSERT_EQ(CGSSetRegisteredCursor(connection, name, &seed), 0);
    EXPECT_EQ(readGlobalData().hotSpot.x, 20.0);
    EXPECT_EQ(readGlobalData().hotSpot.y, 6.0);

    // Unregistering leaves the screen until the next activation.
    ASSERT_EQ(CoreCursorUnregisterAll(connection), 0);
    EXPECT_EQ(readGlobalData().bytes, bytesOf(pixelsOf(sharp.get())));
    ASSERT_TRUE(SimWindowServerCopyCurrentCursor(&current));
    CFRelease(current.images);
    EXPECT_TRUE(current.registered);
    ASSERT_EQ(CoreCursorSet(connection, 0), 0);
    EXPECT_EQ(readGlobalData().bytes, start.bytes);
    ASSERT_TRUE(SimWindowServerCopyCurrentCursor(&current));
    CFRelease(current.images);
    EXPECT_FALSE(current.registered);
}

TEST_F(SimWindowServerTest, AnAnimatedCursorShowsTheTopFrameOfItsImage)
{
    ASSERT_EQ(CoreCursorSet(connection, 4), 0);
    GlobalData shown = readGlobalData();
    ASSERT_EQ(shown.dataStatus, 0);
    EXPECT_EQ(shown.size.width, 24.0);
    EXPECT_EQ(shown.size.height, 24.0);
    EXPECT_EQ(shown.hotSpot.y, 12.0);
    auto strip = bytesOf(pixelsOf(imageAt(copyNumbered(4).images, 0)));
    EXPECT_EQ(shown.bytes, std::vector<uint8_t>(strip.begin(), strip.begin() + 24 * 24 * 4));
}

TEST_F(SimWindowServerTest, GlobalDataCanBeOverReportedAndNeverOverflowsTheBuffer)
{
    SimWindowServerSetGlobalDataOverReport(40);
    GlobalData data = readGlobalData();
    ASSERT_EQ(data.sizeStatus, 0);
    EXPECT_EQ(data.reported, 24 * 24 * 4 + 40);
    ASSERT_EQ(data.dataStatus, 0);
    EXPECT_EQ(data.written, 24 * 24 * 4);

    std::vector<uint8_t> small(100, 0xEE);
    int32_t count = 60;
    CGSize size{};
    CGPoint hotSpot{};
    int32_t depth = 0, components = 0, bits = 0, reserved = 0;
    EXPECT_EQ(CGSGetGlobalCursorData(connection, small.data(), &count, &size, &hotSpot, &depth, &components, &bits,
                                     &reserved),
              SimWindowServerErrorRangeCheck);
    EXPECT_EQ(count, 60);
    EXPECT_EQ(small, std::vector<uint8_t>(100, 0xEE));
}

TEST_F(SimWindowServerTest, ScaleHideShowAndDockOverride)
{
    float scale = 0;
    ASSERT_EQ(CGSGetCursorScale(connection, &scale), 0);
    EXPECT_EQ(scale, 1.0f);
    ASSERT_EQ(SLSSetCursorScale(connection, 2.5f), 0);
    ASSERT_EQ(CGSGetCursorScale(connection, &scale), 0);
    EXPECT_EQ(scale, 2.5f);
    EXPECT_EQ(CGSSetCursorScale(connection, 0.0f), SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(CGSSetCursorScale(connection, std::nanf("")), SimWindowServerErrorIllegalArgument);
    EXPECT_EQ(SimWindowServerCursorScale(), 2.5f);

    EXPECT_EQ(CGSHideCursor(connection), 0);
    EXPECT_EQ(CGSHideCursor(connection), 0);
    EXPECT_EQ(SimWindowServerHideCount(), 2);
    EXPECT_EQ(SLSShowCursor(connection), 0);
    EXPECT_EQ(SimWindowServerHideCount(), 1);
    EXPECT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(SimWindowServerHideCount(), 0);

    CGSSetDockCursorOverride(connection, true);
    EXPECT_TRUE(SimWindowServerDockCursorOverride());
    SLSSetDockCursorOverride(connection, false);
    EXPECT_FALSE(SimWindowServerDockCursorOverride());
}

TEST_F(SimWindowServerTest, InjectedFailuresAndWrongConnections)
{
    CGSCursorSeed seed = 0;
    CGSCursorSeed before = CGSCurrentCursorSeed();

    // One failure covers both names of a function and changes nothing.
    SimWindowServerSetFailure("SetRegisteredCursor", 1234);
    EXPECT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.IBeam", &seed), 1234);
    EXPECT_EQ(SLSSetRegisteredCursor(connection, "com.apple.coregraphics.IBeam", &seed), 1234);
    EXPECT_EQ(seed, 0);
    EXPECT_EQ(CGSCurrentCursorSeed(), before);
    SimWindowServerSetFailure("SLSSetRegisteredCursor", 0);
    EXPECT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.IBeam", &seed), 0);

    // A failure for one cursor leaves the others working.
    SimWindowServerSetFailureFor("CoreCursorSet", "13", 77);
    EXPECT_EQ(CoreCursorSet(connection, 13), 77);
    EXPECT_EQ(CoreCursorSet(connection, 1), 0);
    SimWindowServerSetFailureFor("CGSRegisterCursorWithImage", "com.apple.cursor.13", 5);
    auto image = solidImage(4, 4, 9);
    EXPECT_EQ(SLSRegisterCursorWithImage(connection, "com.apple.cursor.13", true, true, 0, image.get(), {4, 4},
                                         {0, 0}, &seed, 1, 1),
              5);
    EXPECT_EQ(SLSRegisterCursorWithImage(connection, "com.apple.cursor.1", true, true, 0, image.get(), {4, 4},
                                         {0, 0}, &seed, 1, 1),
              0);
    EXPECT_FALSE(SimWindowServerIsRegistered("com.apple.cursor.13"));

    // Functions without a status give their empty result.
    SimWindowServerSetFailure("CreateRegisteredCursorImage", 1);
    SimWindowServerSetFailure("CursorNameForSystemCursor", 1);
    SimWindowServerSetFailure("SetDockCursorOverride", 1);
    SimWindowServerSetFailure("SetSystemDefinedCursorWithSeed", 1);
    CGPoint hotSpot{-1, -1};
    EXPECT_EQ(CGSCreateRegisteredCursorImage(connection, "com.apple.coregraphics.Arrow", &hotSpot), nullptr);
    EXPECT_EQ(hotSpot.x, -1.0);
    EXPECT_EQ(CGSCursorNameForSystemCursor(0), nullptr);
    CGSSetDockCursorOverride(connection, true);
    EXPECT_FALSE(SimWindowServerDockCursorOverride());
    seed = 0;
    before = CGSCurrentCursorSeed();
    CGSSetSystemDefinedCursorWithSeed(connection, 0, &seed);
    EXPECT_EQ(seed, 0);
    EXPECT_EQ(CGSCurrentCursorSeed(), before);

    SimWindowServerSetFailure("GetGlobalCursorDataSize", 3);
    int32_t byteCount = -1;
    EXPECT_EQ(CGSGetGlobalCursorDataSize(connection, &byteCount), 3);
    EXPECT_EQ(byteCount, -1);

    SimWindowServerClearFailures();
    EXPECT_STREQ(CGSCursorNameForSystemCursor(0), "com.apple.coregraphics.Arrow");
    EXPECT_EQ(CoreCursorSet(connection, 13), 0);

    // Only the main connection is served.
    EXPECT_EQ(CGSMainConnectionID(), connection);
    EXPECT_EQ(CoreCursorSet(connection + 1, 0), SimWindowServerErrorInvalidConnection);
    EXPECT_EQ(CGSHideCursor(connection + 1), SimWindowServerErrorInvalidConnection);
    SimWindowServerSetMainConnectionID(0);
    EXPECT_EQ(SLSMainConnectionID(), 0);
    EXPECT_EQ(CoreCursorSet(0, 0), 0);
    EXPECT_EQ(CoreCursorSet(connection, 0), SimWindowServerErrorInvalidConnection);
}

TEST_F(SimWindowServerTest, CallLogRecordsEveryCallInOrder)
{
    EXPECT_EQ(SimWindowServerCallLogCount(), 0u);
    CGSCursorSeed seed = 0;
    auto image = solidImage(32, 32, 2);
    auto images = listOf({image.get(), image.get()});
    CGSMainConnectionID();
    SLSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, false, {32, 32}, {4.5, 4}, 2, 0,
                                images.get(), &seed);
    CGSRegisterCursorWithImage(connection, "com.apple.coregraphics.Arrow", true, true, 0, image.get(), {32, 32},
                               {4.5, 4}, &seed, 1.0, 1.0);
    CGSSetRegisteredCursor(connection, nullptr, &seed);
    CoreCursorSet(connection, 13);
    SLSSetCursorScale(connection, 1.3f);
    CGSCursorNameForSystemCursor(4);
    int32_t byteCount = 0;
    CGSGetGlobalCursorDataSize(connection, &byteCount);
    CGSCurrentCursorSeed();

    EXPECT_EQ(SimWindowServerCallLog(),
              (std::vector<std::string>{
                  "CGSMainConnectionID",
                  "SLSRegisterCursorWithImages name=com.apple.coregraphics.Arrow setGlobally=true instantly=false "
                  "size=32.0x32.0 hotSpot=(4.5,4.0) frames=2 frameDuration=0.0 images=2",
                  "CGSRegisterCursorWithImage name=com.apple.coregraphics.Arrow setGlobally=true instantly=true "
                  "reserved=0 image=32x32 size=32.0x32.0 hotSpot=(4.5,4.0) scale=(1.0,1.0)",
                  "CGSSetRegisteredCursor name=(null)",
                  "CoreCursorSet cursor=13",
                  "SLSSetCursorScale scale=1.3",
                  "CGSCursorNameForSystemCursor cursor=4",
                  "CGSGetGlobalCursorDataSize",
                  "CGSCurrentCursorSeed",
              }));
    EXPECT_EQ(SimWindowServerCallCount("CGSRegisterCursorWithImage"), 1u);
    EXPECT_EQ(SimWindowServerCallCount("SLSRegisterCursorWithImage"), 0u);
    EXPECT_EQ(SimWindowServerCallCount("RegisterCursorWithImages"), 1u);
    EXPECT_EQ(SimWindowServerCallCount("CoreCursorSet"), 1u);
    EXPECT_EQ(SimWindowServerCallCount("CoreCursorSetAndReturnSeed"), 0u);

    char shortBuffer[8];
    EXPECT_EQ(SimWindowServerCallLogEntry(4, shortBuffer, sizeof shortBuffer), std::strlen("CoreCursorSet cursor=13"));
    EXPECT_STREQ(shortBuffer, "CoreCur");
    EXPECT_EQ(SimWindowServerCallLogEntry(99, shortBuffer, sizeof shortBuffer), 0u);
    EXPECT_STREQ(shortBuffer, "");

    // Test controls are not calls of the window server.
    SimWindowServerCurrentSeed();
    SimWindowServerSetFailure("CoreCursorSet", 1);
    EXPECT_EQ(SimWindowServerCallLogCount(), 9u);

    SimWindowServerClearCallLog();
    EXPECT_EQ(SimWindowServerCallLogCount(), 0u);
    EXPECT_EQ(SimWindowServerCallCount("CoreCursorSet"), 0u);
}

TEST_F(SimWindowServerTest, CallLogKeepsTheLatestEntriesAndExactCounts)
{
    for (int i = 0; i < SimWindowServerCallLogCapacity + 5; ++i)
        CGSCurrentCursorSeed();
    CoreCursorSet(connection, 0);
    EXPECT_EQ(SimWindowServerCallLogCount(), static_cast<size_t>(SimWindowServerCallLogCapacity));
    EXPECT_EQ(SimWindowServerCallCount("CurrentCursorSeed"), static_cast<size_t>(SimWindowServerCallLogCapacity) + 5);
    std::string last(64, '\0');
    last.resize(SimWindowServerCallLogEntry(SimWindowServerCallLogCapacity - 1, last.data(), last.size()));
    EXPECT_EQ(last, "CoreCursorSet cursor=0");
}

TEST_F(SimWindowServerTest, DesktopPointerScreenAndPostedEvents)
{
    CGPoint location = TarnwickMouseLocation();
    EXPECT_EQ(location.x, 400.0);
    EXPECT_EQ(location.y, 300.0);
    CGFloat height = 0;
    ASSERT_TRUE(TarnwickPrimaryScreenHeight(&height));
    EXPECT_EQ(height, 1080.0);

    SimWindowServerSetMouseLocation({12.5, 40});
    SimWindowServerSetPrimaryScreenHeight(true, 768);
    EXPECT_EQ(TarnwickMouseLocation().x, 12.5);
    ASSERT_TRUE(TarnwickPrimaryScreenHeight(&height));
    EXPECT_EQ(height, 768.0);
    SimWindowServerSetPrimaryScreenHeight(false, 0);
    EXPECT_FALSE(TarnwickPrimaryScreenHeight(&height));

    auto event = CFRef<CGEventRef>::adopt(
        CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, {12.5, 728}, kCGMouseButtonLeft));
    CGEventPost(kCGHIDEventTap, event.get());
    CGEventPost(kCGHIDEventTap, event.get());
    ASSERT_EQ(SimWindowServerPostedEventCount(), 2u);
    SimPostedEvent posted{};
    ASSERT_TRUE(SimWindowServerPostedEvent(1, &posted));
    EXPECT_EQ(posted.type, kCGEventMouseMoved);
    EXPECT_EQ(posted.location.y, 728.0);
    EXPECT_EQ(posted.button, kCGMouseButtonLeft);
    EXPECT_FALSE(SimWindowServerPostedEvent(2, &posted));
    EXPECT_EQ(CFGetRetainCount(event.get()), 1);
    // The pointer stays where it was.
    EXPECT_EQ(TarnwickMouseLocation().y, 40.0);
    EXPECT_EQ(SimWindowServerCallCount("CGEventPost"), 2u);
}

}
