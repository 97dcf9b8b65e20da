// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "X11TestDisplay.h"

#include "platform/provider/WindowServerFunctions.h"
#include "support/XvfbServer.h"

#include <X11/Xcursor/Xcursor.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace {

// The provider keeps one connection for the life of the process, so one X
// server serves every test here.
class ProviderDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        theme = selectCursorTheme();
        server = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server->running()) << "Xvfb did not start";
        setenv("DISPLAY", server->display().c_str(), 1);
    }
    void TearDown() override { server.reset(); }

    static inline std::string theme;
    std::unique_ptr<XvfbServer> server;
};

const auto* const providerDisplay = ::testing::AddGlobalTestEnvironment(new ProviderDisplay);

struct Copied {
    CGSError status = -1;
    CGSize size{};
    CGPoint hotSpot{};
    uint64_t frameCount = 0;
    CGFloat frameDuration = 0;
    CFRef<CFArrayRef> images;
};

Copied copyNamed(const char* name)
{
    Copied copied;
    CFArrayRef images = nullptr;
    copied.status = CGSCopyRegisteredCursorImages(CGSMainConnectionID(), name, &copied.size, &copied.hotSpot,
                                                  &copied.frameCount, &copied.frameDuration, &images);
    copied.images = CFRef<CFArrayRef>::adopt(images);
    return copied;
}

Copied copyNumbered(CGSCursorID cursor)
{
    Copied copied;
    CFArrayRef images = nullptr;
    copied.status = CoreCursorCopyImages(CGSMainConnectionID(), cursor, &images, &copied.size, &copied.hotSpot,
                                         &copied.frameCount, &copied.frameDuration);
    copied.images = CFRef<CFArrayRef>::adopt(images);
    return copied;
}

// As the runtime registers: every image through the multi-frame call, then
// the first image alone.
bool registerLikeTheProgram(const char* name, const Copied& source, CFArrayRef images)
{
    CGSCursorSeed multiSeed = 0, singleSeed = 0;
    CGSError multi = CGSRegisterCursorWithImages(CGSMainConnectionID(), name, true, true, source.size,
                                                 source.hotSpot, source.frameCount, source.frameDuration, images,
                                                 &multiSeed);
    auto first = static_cast<CGImageRef>(CFArrayGetValueAtIndex(images, 0));
    CGSError single = CGSRegisterCursorWithImage(CGSMainConnectionID(), name, true, true, 0, first, source.size,
                                                 source.hotSpot, &singleSeed, 1.0, 1.0);
    return multi == 0 && single == 0;
}

CGImageRef imageAt(const CFRef<CFArrayRef>& images, CFIndex index)
{
    return static_cast<CGImageRef>(CFArrayGetValueAtIndex(images.get(), index));
}

// The pixel side of the square every theme cursor comes in at the tests'
// size of 24 px, one pixel per point: 32 points, the theme's image at its
// top left.
constexpr int framed = 32;

// The top left width x height of a row-major image of the given width.
std::vector<std::uint32_t> topLeft(const std::vector<std::uint32_t>& pixels, int width, int wanted, int height)
{
    std::vector<std::uint32_t> part;
    for (int y = 0; y < height; ++y)
        part.insert(part.end(), pixels.begin() + y * width, pixels.begin() + y * width + wanted);
    return part;
}

// The decorated image of the size X shows at the tests' size.
CGImageRef imageOfSize(const CFRef<CFArrayRef>& images, int width)
{
    for (CFIndex i = 0; i < CFArrayGetCount(images.get()); ++i) {
        if (static_cast<int>(CGImageGetWidth(imageAt(images, i))) == width)
            return imageAt(images, i);
    }
    return nullptr;
}

std::string fingerprint()
{
    CGSConnectionID connection = CGSMainConnectionID();
    int32_t byteCount = 0;
    if (CGSGetGlobalCursorDataSize(connection, &byteCount) != 0 || byteCount < 1)
        return {};
    std::vector<uint8_t> buffer(static_cast<std::size_t>(byteCount));
    CGSize size{};
    CGPoint hotSpot{};
    int32_t depth = 0, components = 0, bitsPerComponent = 0, reserved = 0;
    if (CGSGetGlobalCursorData(connection, buffer.data(), &byteCount, &size, &hotSpot, &depth, &components,
                               &bitsPerComponent, &reserved) != 0)
        return {};
    buffer.resize(static_cast<std::size_t>(byteCount));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(fnv1a64(buffer)));
    return text;
}

std::string hex(std::uint64_t hash)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

class X11ProviderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(CGSMainConnectionID(), 0) << "the provider cannot reach the test X server";
        theme = themeCursor("left_ptr");
        if (!theme)
            GTEST_SKIP() << "no cursor theme with left_ptr is installed";
    }
    void TearDown() override
    {
        CoreCursorUnregisterAll(CGSMainConnectionID());
        CGSSetCursorScale(CGSMainConnectionID(), 1.0f);
    }
    std::optional<ScreenCursor> theme;
};

}

TEST_F(X11ProviderTest, DecoratedArrowReachesARunningWindowAndUnregisteringAllBringsBackTheTheme)
{
    CursorTestWindow window("left_ptr");
    ScreenCursor before = window.onScreen();
    ASSERT_EQ(pixelHash(before.pixels), pixelHash(theme->pixels)) << "the window does not show the theme's arrow";
    CGSCursorSeed seedBefore = CGSCurrentCursorSeed();
    EXPECT_EQ(fingerprint(), hex(fnv1a64(before.bytes())));

    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    ASSERT_EQ(arrow.status, 0);
    auto badge = decoratedList(arrow.images.get());
    ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.Arrow", arrow, badge.get()));

    ScreenCursor after = window.onScreen();
    CGImageRef shown = imageOfSize(badge, framed);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(after.pixels, argbPixels(shown));
    EXPECT_EQ(after.xHot, theme->xHot);
    EXPECT_EQ(after.yHot, theme->yHot);
    CGSCursorSeed seedAfterRegister = CGSCurrentCursorSeed();
    EXPECT_NE(seedAfterRegister, seedBefore);
    EXPECT_EQ(seedAfterRegister, static_cast<CGSCursorSeed>(after.serial));
    EXPECT_EQ(fingerprint(), hex(fnv1a64(after.bytes())));
    EXPECT_NE(fingerprint(), hex(fnv1a64(before.bytes())));

    ASSERT_EQ(CoreCursorUnregisterAll(CGSMainConnectionID()), 0);
    ScreenCursor restored = window.onScreen();
    EXPECT_EQ(pixelHash(restored.pixels), pixelHash(theme->pixels));
    CGSCursorSeed seedAfterReset = CGSCurrentCursorSeed();
    EXPECT_NE(seedAfterReset, seedAfterRegister);
    EXPECT_EQ(fingerprint(), hex(fnv1a64(restored.bytes())));
}

TEST_F(X11ProviderTest, EachArrowNameChangesEveryXArrowNameAndEachChangeGetsANewSeed)
{
    Copied arrow = copyNamed("com.apple.coregraphics.GlobalCurrent");
    ASSERT_EQ(arrow.status, 0);
    auto badge = decoratedList(arrow.images.get());
    std::vector<CGSCursorSeed> seeds;
    for (const char* xName : {"left_ptr", "default", "arrow", "top_left_arrow"}) {
        CursorTestWindow window(xName);
        ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.GlobalCurrent", arrow, badge.get()));
        EXPECT_EQ(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed))) << xName;
        seeds.push_back(CGSCurrentCursorSeed());
        ASSERT_EQ(CoreCursorUnregisterAll(CGSMainConnectionID()), 0);
        EXPECT_NE(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed))) << xName;
        seeds.push_back(CGSCurrentCursorSeed());
    }
    for (std::size_t i = 1; i < seeds.size(); ++i)
        EXPECT_NE(seeds[i], seeds[i - 1]) << i;
}

TEST_F(X11ProviderTest, IBeamAndPointingHandRegistrationsReachWindowsThatUseXtermAndHand2)
{
    struct Case {
        const char* name;
        const char* xName;
    };
    for (Case c : {Case{"com.apple.coregraphics.IBeam", "xterm"}, Case{"com.apple.cursor.13", "hand2"}}) {
        auto themed = themeCursor(c.xName);
        ASSERT_TRUE(themed) << c.xName;
        CursorTestWindow window(c.xName);
        ASSERT_EQ(pixelHash(window.onScreen().pixels), pixelHash(themed->pixels));
        Copied original = copyNamed(c.name);
        ASSERT_EQ(original.status, 0) << c.name;
        auto badge = decoratedList(original.images.get());
        ASSERT_TRUE(registerLikeTheProgram(c.name, original, badge.get()));
        EXPECT_EQ(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed))) << c.name;
        ASSERT_EQ(CoreCursorUnregisterAll(CGSMainConnectionID()), 0);
        EXPECT_EQ(pixelHash(window.onScreen().pixels), pixelHash(themed->pixels)) << c.name;

        // Registered while the pointer is elsewhere, the name is installed a
        // moment later, without anything of the provider's reading the screen.
        window.pointAtRoot();
        ASSERT_TRUE(registerLikeTheProgram(c.name, original, badge.get()));
        window.pointInside();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (window.onScreen().pixels != argbPixels(imageOfSize(badge, framed)) &&
               std::chrono::steady_clock::now() < until)
            window.pointAtRoot(), window.pointInside();
        EXPECT_EQ(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed))) << c.name << " off screen";
        ASSERT_EQ(CoreCursorUnregisterAll(CGSMainConnectionID()), 0);
    }
}

TEST_F(X11ProviderTest, CopyingGivesTheThemeAtTheShownSizeAndTwiceItUntilANameIsRegistered)
{
    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    ASSERT_EQ(arrow.status, 0);
    EXPECT_EQ(arrow.size.width, framed);
    EXPECT_EQ(arrow.size.height, framed);
    EXPECT_EQ(arrow.hotSpot.x, theme->xHot);
    EXPECT_EQ(arrow.hotSpot.y, theme->yHot);
    EXPECT_EQ(arrow.frameCount, 1u);
    CFIndex count = CFArrayGetCount(arrow.images.get());
    ASSERT_GE(count, 1);
    // One image per whole number of pixels per point: DMZ-White's 24 px
    // image at one, its 48 px image at two, each at the top left of the
    // square; its 32 px image has no whole density of its own.
    if (ProviderDisplay::theme == "DMZ-White") {
        ASSERT_EQ(count, 2);
        CGImageRef doubled = imageAt(arrow.images, 1);
        ASSERT_EQ(CGImageGetWidth(doubled), 2u * framed);
        XcursorImage* large = XcursorLibraryLoadImage("left_ptr", "DMZ-White", 48);
        ASSERT_TRUE(large);
        EXPECT_EQ(topLeft(argbPixels(doubled), 2 * framed, 48, 48),
                  std::vector<std::uint32_t>(large->pixels, large->pixels + 48 * 48));
        XcursorImageDestroy(large);
    }
    for (CFIndex i = 1; i < count; ++i)
        EXPECT_LT(CGImageGetWidth(imageAt(arrow.images, i - 1)), CGImageGetWidth(imageAt(arrow.images, i)));
    std::vector<std::uint32_t> square = argbPixels(imageOfSize(arrow.images, framed));
    EXPECT_EQ(topLeft(square, framed, theme->width, theme->height), theme->pixels);
    EXPECT_EQ(std::count(square.begin(), square.end(), 0u),
              framed * framed - std::count_if(theme->pixels.begin(), theme->pixels.end(),
                                              [](std::uint32_t pixel) { return pixel != 0; }))
        << "nothing but the theme's image in the square";

    // The numbered arrow and the hand come from the same theme.
    Copied zero = copyNumbered(0);
    ASSERT_EQ(zero.status, 0);
    EXPECT_EQ(argbPixels(imageOfSize(zero.images, framed)), square);
    Copied hand = copyNumbered(13);
    ASSERT_EQ(hand.status, 0);
    auto hand2 = themeCursor("hand2");
    EXPECT_EQ(topLeft(argbPixels(imageAt(hand.images, 0)), framed, hand2->width, hand2->height), hand2->pixels);
    EXPECT_EQ(hand.hotSpot.x, hand2->xHot);

    // What was registered comes back as it was given.
    auto badge = decoratedList(arrow.images.get());
    CGSize size{30, 30};
    CGPoint hotSpot{3, 2};
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSRegisterCursorWithImages(CGSMainConnectionID(), "com.apple.coregraphics.Arrow", true, true, size,
                                          hotSpot, 1, 0.0, badge.get(), &seed),
              0);
    Copied back = copyNamed("com.apple.coregraphics.Arrow");
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(back.size.width, 30.0);
    EXPECT_EQ(back.hotSpot.x, 3.0);
    ASSERT_EQ(CFArrayGetCount(back.images.get()), count);
    EXPECT_EQ(imageAt(back.images, 0), imageAt(badge, 0));
    // The image the server holds is the one it shows, at the size asked for.
    CGPoint heldHotSpot{};
    auto held = CFRef<CGImageRef>::adopt(
        CGSCreateRegisteredCursorImage(CGSMainConnectionID(), "com.apple.coregraphics.Arrow", &heldHotSpot));
    ASSERT_TRUE(held);
    EXPECT_EQ(CGImageGetWidth(held.get()), 30u);

    // Names X has no cursor for are kept by the provider alone.
    EXPECT_NE(copyNamed("com.example.Unknown").status, 0);
    ASSERT_EQ(CGSRegisterCursorWithImages(CGSMainConnectionID(), "com.example.Unknown", true, true, size, hotSpot, 1,
                                          0.0, badge.get(), &seed),
              0);
    EXPECT_EQ(copyNamed("com.example.Unknown").status, 0);
    EXPECT_EQ(CGSSetRegisteredCursor(CGSMainConnectionID(), "com.example.Unknown", &seed), 0);

    ASSERT_EQ(CoreCursorUnregisterAll(CGSMainConnectionID()), 0);
    EXPECT_NE(copyNamed("com.example.Unknown").status, 0);
    Copied reset = copyNamed("com.apple.coregraphics.Arrow");
    EXPECT_EQ(reset.size.width, framed);
}

TEST_F(X11ProviderTest, AnimatedNumbersCopyEveryFrameStackedAndRegisterBackAsAnAnimation)
{
    for (CGSCursorID cursor : {4, 14}) {
        Copied busy = copyNumbered(cursor);
        ASSERT_EQ(busy.status, 0) << cursor;
        if (ProviderDisplay::theme != "DMZ-White")
            continue;
        EXPECT_GT(busy.frameCount, 1u) << cursor;
        EXPECT_GT(busy.frameDuration, 0.0);
        EXPECT_EQ(CFArrayGetCount(busy.images.get()), 2);
        for (CFIndex i = 0; i < CFArrayGetCount(busy.images.get()); ++i) {
            CGImageRef strip = imageAt(busy.images, i);
            EXPECT_EQ(CGImageGetHeight(strip), busy.frameCount * CGImageGetWidth(strip)) << cursor;
        }
    }
    auto watch = themeCursor("watch");
    ASSERT_TRUE(watch);
    CursorTestWindow window("watch");
    Copied busy = copyNumbered(4);
    auto badge = decoratedList(busy.images.get());
    ASSERT_TRUE(registerLikeTheProgram("com.apple.cursor.4", busy, badge.get()));
    // X reports an animated cursor on screen only as its serial; the frames
    // it animates are what the server holds for the name.
    EXPECT_EQ(static_cast<CGSCursorSeed>(window.onScreen().serial), CGSCurrentCursorSeed());
    CGPoint hotSpot{};
    auto frame = CFRef<CGImageRef>::adopt(
        CGSCreateRegisteredCursorImage(CGSMainConnectionID(), "com.apple.cursor.4", &hotSpot));
    ASSERT_TRUE(frame);
    EXPECT_EQ(static_cast<int>(CGImageGetWidth(frame.get())), framed);
    EXPECT_EQ(static_cast<int>(CGImageGetHeight(frame.get())), framed) << "one frame, not the whole strip";
    std::vector<std::uint32_t> strip = argbPixels(imageOfSize(badge, framed));
    strip.resize(static_cast<std::size_t>(framed * framed));
    EXPECT_EQ(argbPixels(frame.get()), strip) << "the top frame of the registered strip";
    Copied back = copyNumbered(4);
    EXPECT_EQ(back.frameCount, busy.frameCount);
    EXPECT_EQ(CFArrayGetCount(back.images.get()), CFArrayGetCount(busy.images.get()))
        << "the single-image call after the multi-frame one must not drop the other sizes";
    EXPECT_NE(copyNumbered(45).status, 0);
    EXPECT_NE(copyNumbered(-1).status, 0);
}

TEST_F(X11ProviderTest, MakingANameOrNumberCurrentDefinesItOnTheRootWindow)
{
    CursorTestWindow window("left_ptr");
    window.pointAtRoot();
    CGSConnectionID connection = CGSMainConnectionID();
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSSetRegisteredCursor(connection, "com.apple.cursor.13", &seed), 0);
    EXPECT_EQ(pixelHash(window.onScreen().pixels), pixelHash(themeCursor("hand2")->pixels));
    EXPECT_EQ(seed, static_cast<CGSCursorSeed>(window.onScreen().serial));

    ASSERT_EQ(CoreCursorSet(connection, 1), 0);
    EXPECT_EQ(pixelHash(window.onScreen().pixels), pixelHash(themeCursor("xterm")->pixels));
    CGSCursorSeed numberedSeed = 0;
    ASSERT_EQ(CoreCursorSetAndReturnSeed(connection, 0, &numberedSeed), 0);
    EXPECT_EQ(pixelHash(window.onScreen().pixels), pixelHash(theme->pixels));
    EXPECT_NE(numberedSeed, seed);
    EXPECT_EQ(CGSSetSystemDefinedCursor(connection, 13), 0);
    EXPECT_NE(CoreCursorSet(connection, 45), 0);
    EXPECT_NE(CGSSetRegisteredCursor(connection, "com.example.Nothing", &seed), 0);

    // The registered arrow is what the arrow names make current.
    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    auto badge = decoratedList(arrow.images.get());
    ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.GlobalCurrent", arrow, badge.get()));
    ASSERT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.Arrow", &seed), 0);
    EXPECT_EQ(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed)));
    // Unregistering reaches the root window as well.
    ASSERT_EQ(CoreCursorUnregisterAll(connection), 0);
    EXPECT_EQ(pixelHash(window.onScreen().pixels), pixelHash(theme->pixels));
}

TEST_F(X11ProviderTest, ScaleIsKeptByTheProviderAndAppliedToCursorsBuiltAfterwards)
{
    CGSConnectionID connection = CGSMainConnectionID();
    float scale = 0;
    ASSERT_EQ(CGSGetCursorScale(connection, &scale), 0);
    EXPECT_EQ(scale, 1.0f);
    CursorTestWindow window("left_ptr");
    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    auto badge = decoratedList(arrow.images.get());

    ASSERT_EQ(CGSSetCursorScale(connection, 2.0f), 0);
    ASSERT_EQ(CGSGetCursorScale(connection, &scale), 0);
    EXPECT_EQ(scale, 2.0f);
    EXPECT_EQ(window.onScreen().width, theme->width) << "a scale change alone rebuilds nothing";
    ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.Arrow", arrow, badge.get()));
    ScreenCursor doubled = window.onScreen();
    EXPECT_EQ(doubled.width, 2 * framed);
    EXPECT_EQ(doubled.xHot, 2 * theme->xHot);
    EXPECT_EQ(doubled.yHot, 2 * theme->yHot);
    if (CGImageRef exact = imageOfSize(badge, 2 * framed)) {
        EXPECT_EQ(doubled.pixels, argbPixels(exact)) << "an image of exactly the size needed is used as it is";
    }

    // A slight enlargement has no whole number of pixels per point: the
    // theme's pixels stay as they are rather than being resampled.
    ASSERT_EQ(CGSSetCursorScale(connection, 1.08f), 0);
    ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.Arrow", arrow, badge.get()));
    EXPECT_EQ(window.onScreen().pixels, argbPixels(imageOfSize(badge, framed)));

    EXPECT_NE(CGSSetCursorScale(connection, 0.0f), 0);
    EXPECT_NE(CGSSetCursorScale(connection, std::nanf("")), 0);
    ASSERT_EQ(CGSGetCursorScale(connection, &scale), 0);
    EXPECT_EQ(scale, 1.08f);
}

TEST_F(X11ProviderTest, ANewScaleReachesRegisteredCursorsAtTheNextActivationNotBefore)
{
    CGSConnectionID connection = CGSMainConnectionID();
    CursorTestWindow window("left_ptr");
    // The original arrow put back while the decorated scale is still set, as
    // a restore does before setting the scale back, is the theme's own
    // cursor, not its padded copy; the scale then doubles.
    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    ASSERT_EQ(CGSSetCursorScale(connection, 1.08f), 0);
    ASSERT_TRUE(registerLikeTheProgram("com.apple.coregraphics.Arrow", arrow, arrow.images.get()));
    ASSERT_EQ(pixelHash(window.onScreen().pixels), pixelHash(theme->pixels));
    ASSERT_EQ(CGSSetCursorScale(connection, 2.0f), 0);
    ASSERT_EQ(CGSHideCursor(connection), 0);
    ASSERT_EQ(CGSShowCursor(connection), 0);
    int enlarged = 2 * framed;
    ASSERT_EQ(window.onScreen().width, enlarged);

    // A nudge up and back changes nothing on screen.
    ASSERT_EQ(CGSSetCursorScale(connection, 2.3f), 0);
    ASSERT_EQ(CGSSetCursorScale(connection, 2.0f), 0);
    CGSCursorSeed seed = CGSCurrentCursorSeed();
    ASSERT_EQ(CGSHideCursor(connection), 0);
    ASSERT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(window.onScreen().width, enlarged);
    EXPECT_EQ(CGSCurrentCursorSeed(), seed);

    ASSERT_EQ(CGSSetCursorScale(connection, 1.0f), 0);
    EXPECT_EQ(window.onScreen().width, enlarged);
    ASSERT_EQ(CGSHideCursor(connection), 0);
    ASSERT_EQ(CGSShowCursor(connection), 0);
    ScreenCursor original = window.onScreen();
    EXPECT_EQ(pixelHash(original.pixels), pixelHash(theme->pixels));
    EXPECT_EQ(original.xHot, theme->xHot);

    // Making a name current brings a new scale too.
    ASSERT_EQ(CGSSetCursorScale(connection, 2.0f), 0);
    ASSERT_EQ(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.Arrow", &seed), 0);
    EXPECT_EQ(window.onScreen().width, 2 * framed);
}

TEST_F(X11ProviderTest, HideAndShowPairUpAndAShowWithoutAHideIsHarmless)
{
    CGSConnectionID connection = CGSMainConnectionID();
    EXPECT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(CGSHideCursor(connection), 0);
    EXPECT_EQ(CGSHideCursor(connection), 0);
    EXPECT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(CGSShowCursor(connection), 0);
    EXPECT_EQ(CGSShowCursor(connection), 0);
}

TEST_F(X11ProviderTest, BadArgumentsAndSmallBuffersFailWithoutTouchingMemory)
{
    CGSConnectionID connection = CGSMainConnectionID();
    CGSCursorSeed seed = 0;
    Copied arrow = copyNamed("com.apple.coregraphics.Arrow");
    EXPECT_NE(CGSRegisterCursorWithImages(connection + 1, "com.apple.coregraphics.Arrow", true, true, arrow.size,
                                          arrow.hotSpot, 1, 0.0, arrow.images.get(), &seed),
              0);
    auto empty = CFRef<CFArrayRef>::adopt(CFArrayCreate(nullptr, 0));
    EXPECT_NE(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, arrow.size,
                                          arrow.hotSpot, 1, 0.0, empty.get(), &seed),
              0);
    // A list whose only element is not an image registers nothing.
    CFTypeRef notAnImage = empty.get();
    auto odd = CFRef<CFArrayRef>::adopt(CFArrayCreate(&notAnImage, 1));
    EXPECT_NE(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, arrow.size,
                                          arrow.hotSpot, 1, 0.0, odd.get(), &seed),
              0);
    EXPECT_NE(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, arrow.size,
                                          arrow.hotSpot, 1, 0.0, nullptr, &seed),
              0);
    EXPECT_NE(CGSRegisterCursorWithImage(connection, "com.apple.coregraphics.Arrow", true, true, 0, nullptr,
                                         arrow.size, arrow.hotSpot, &seed, 1.0, 1.0),
              0);

    // A hot spot outside the image and absurd sizes are brought into range.
    CGSize huge{1e9, std::nan("")};
    ASSERT_EQ(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, huge,
                                          CGPoint{-50, 1e12}, 1, 0.0, arrow.images.get(), &seed),
              0);

    int32_t byteCount = 0;
    ASSERT_EQ(CGSGetGlobalCursorDataSize(connection, &byteCount), 0);
    ASSERT_GT(byteCount, 4);
    std::vector<uint8_t> buffer(static_cast<std::size_t>(byteCount) + 8, 0xAB);
    int32_t tooSmall = byteCount - 4;
    CGSize size{};
    CGPoint hotSpot{};
    int32_t depth = 0, components = 0, bitsPerComponent = 0, reserved = 7;
    EXPECT_NE(CGSGetGlobalCursorData(connection, buffer.data(), &tooSmall, &size, &hotSpot, &depth, &components,
                                     &bitsPerComponent, &reserved),
              0);
    EXPECT_EQ(tooSmall, 0);
    for (uint8_t byte : buffer)
        ASSERT_EQ(byte, 0xAB);
    int32_t enough = byteCount + 8;
    ASSERT_EQ(CGSGetGlobalCursorData(connection, buffer.data(), &enough, &size, &hotSpot, &depth, &components,
                                     &bitsPerComponent, &reserved),
              0);
    EXPECT_EQ(enough, byteCount);
    EXPECT_EQ(static_cast<int32_t>(size.width * size.height * 4), byteCount);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(components, 4);
    EXPECT_EQ(bitsPerComponent, 8);
    EXPECT_EQ(buffer[static_cast<std::size_t>(byteCount)], 0xAB);
}

TEST_F(X11ProviderTest, NumberedCursorNamesAreReportedWithoutAConnection)
{
    EXPECT_STREQ(CGSCursorNameForSystemCursor(0), "com.apple.coregraphics.Arrow");
    EXPECT_STREQ(CGSCursorNameForSystemCursor(1), "com.apple.coregraphics.IBeam");
    EXPECT_STREQ(CGSCursorNameForSystemCursor(13), "com.apple.cursor.13");
    EXPECT_EQ(CGSCursorNameForSystemCursor(45), nullptr);
    EXPECT_EQ(CGSCursorNameForSystemCursor(-1), nullptr);
}

TEST_F(X11ProviderTest, TheSyntheticMoveIsPostedWhereThePointerIsAndReportedBottomUp)
{
    CursorTestWindow window("left_ptr");
    CGFloat height = 0;
    ASSERT_TRUE(TarnwickPrimaryScreenHeight(&height));
    EXPECT_EQ(height, 800.0);
    CGPoint location = TarnwickMouseLocation();
    EXPECT_EQ(location.x, 100.0);
    EXPECT_EQ(location.y, 700.0);

    auto event = CFRef<CGEventRef>::adopt(
        CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{location.x, height - location.y}, kCGMouseButtonLeft));
    CGEventPost(kCGHIDEventTap, event.get());
    CGPoint after = TarnwickMouseLocation();
    EXPECT_EQ(after.x, 100.0);
    EXPECT_EQ(after.y, 700.0);

    // The event really goes through XTest: one elsewhere moves the pointer.
    auto elsewhere = CFRef<CGEventRef>::adopt(
        CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{321, 123}, kCGMouseButtonLeft));
    CGEventPost(kCGHIDEventTap, elsewhere.get());
    CGPoint moved = TarnwickMouseLocation();
    EXPECT_EQ(moved.x, 321.0);
    EXPECT_EQ(moved.y, 677.0);
}
