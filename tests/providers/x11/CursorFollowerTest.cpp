// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "X11TestDisplay.h"

#include "providers/x11/CursorFollower.h"
#include "providers/x11/X11WindowServer.h"
#include "support/XvfbServer.h"

#include <X11/Xcursor/Xcursor.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The provider keeps one connection for the life of the process, so one X
// server serves every test that goes through it.
class FollowerDisplay : public ::testing::Environment {
public:
    void SetUp() override
    {
        selectCursorTheme();
        server = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server->running()) << "Xvfb did not start";
        setenv("DISPLAY", server->display().c_str(), 1);
    }
    void TearDown() override { server.reset(); }

    std::unique_ptr<XvfbServer> server;
};

const auto* const followerDisplay = ::testing::AddGlobalTestEnvironment(new FollowerDisplay);

// The live cursor is changed by the provider's worker thread, so the test
// looks again until it shows the wanted pixels or time runs out.
bool showsWithin(CursorTestWindow& window, const std::vector<std::uint32_t>& pixels, std::chrono::milliseconds limit,
                 std::chrono::microseconds* took = nullptr)
{
    auto start = Clock::now();
    for (;;) {
        bool shown = window.onScreen().pixels == pixels;
        if (took)
            *took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        if (shown)
            return true;
        if (Clock::now() - start > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A name that is not on screen is installed, and followed, a moment after it
// is registered.
bool followingWithin(X11WindowServer& server, std::chrono::milliseconds limit)
{
    auto start = Clock::now();
    while (!server.followingNewCursors() && Clock::now() - start < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return server.followingNewCursors();
}

// The pixel side of the square theme cursors come in at 24 px: 32 points at
// one pixel per point.
constexpr int framed = 32;

CGImageRef imageOfWidth(const CFRef<CFArrayRef>& images, int width)
{
    for (CFIndex i = 0; i < CFArrayGetCount(images.get()); ++i) {
        auto image = static_cast<CGImageRef>(CFArrayGetValueAtIndex(images.get(), i));
        if (static_cast<int>(CGImageGetWidth(image)) == width)
            return image;
    }
    return nullptr;
}

class CursorFollowerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = server.mainConnectionID();
        ASSERT_NE(connection, 0) << "the provider cannot reach the test X server";
        theme = themeCursor("left_ptr");
        if (!theme)
            GTEST_SKIP() << "no cursor theme with left_ptr is installed";
    }
    void TearDown() override { server.unregisterAll(connection); }

    X11WindowServer& server = X11WindowServer::shared();
    CGSConnectionID connection = 0;
    std::optional<ScreenCursor> theme;
};

}

TEST_F(CursorFollowerTest, WindowsOpenedAfterAnArrowIsRegisteredShowItUntilEverythingIsUnregistered)
{
    EXPECT_FALSE(server.followingNewCursors());
    CursorRecord arrow;
    ASSERT_EQ(server.copyRegistered(connection, "com.apple.coregraphics.Arrow", arrow), X11WindowServer::success);
    CursorRecord badge = arrow;
    badge.images = decoratedList(arrow.images.get());
    CGSCursorSeed seed = 0;
    ASSERT_EQ(server.registerCursor(connection, "com.apple.coregraphics.Arrow", badge, &seed),
              X11WindowServer::success);
    EXPECT_TRUE(followingWithin(server, std::chrono::seconds(2)));
    CGImageRef shown = imageOfWidth(badge.images, framed);
    ASSERT_NE(shown, nullptr);
    std::vector<std::uint32_t> decoratedPixels = argbPixels(shown);

    // A program started now loads the theme's arrow itself.
    std::chrono::microseconds took{};
    {
        CursorTestWindow later("left_ptr");
        EXPECT_TRUE(showsWithin(later, decoratedPixels, std::chrono::seconds(2), &took))
            << "a window opened after the registration shows the plain theme arrow";
        std::printf("decorated arrow on the new window after %lld us\n", static_cast<long long>(took.count()));
    }

    // A name nobody registered is left as the theme has it. The arrow window
    // opened after it is only reached once the worker is past the I-beam.
    auto themedIBeam = themeCursor("xterm");
    ASSERT_TRUE(themedIBeam);
    CursorTestWindow text("xterm");
    {
        CursorTestWindow arrowAfterText("left_ptr");
        EXPECT_TRUE(showsWithin(arrowAfterText, decoratedPixels, std::chrono::seconds(2)));
    }
    text.pointInside();
    EXPECT_EQ(pixelHash(text.onScreen().pixels), pixelHash(themedIBeam->pixels));

    // A program that names none of its cursors shows it too, once its
    // theme arrow is on screen, and every registration after it.
    CursorTestWindow unnamed("left_ptr", 200, false);
    EXPECT_TRUE(showsWithin(unnamed, decoratedPixels, std::chrono::seconds(2)));

    // Registering again follows the new cursor, not the one it replaced.
    CursorRecord second = arrow;
    second.images = decoratedList(badge.images.get());
    ASSERT_EQ(server.registerCursor(connection, "com.apple.coregraphics.Arrow", second, &seed),
              X11WindowServer::success);
    {
        CursorTestWindow later("left_ptr");
        EXPECT_TRUE(showsWithin(later, argbPixels(imageOfWidth(second.images, framed)),
                                std::chrono::seconds(2)));
    }
    EXPECT_TRUE(showsWithin(unnamed, argbPixels(imageOfWidth(second.images, framed)), std::chrono::seconds(2)));

    ASSERT_EQ(server.unregisterAll(connection), X11WindowServer::success);
    EXPECT_FALSE(server.followingNewCursors());
    EXPECT_EQ(pixelHash(unnamed.onScreen().pixels), pixelHash(theme->pixels)) << "a cursor without a name";
    CursorTestWindow afterReset("left_ptr");
    EXPECT_EQ(pixelHash(afterReset.onScreen().pixels), pixelHash(theme->pixels));
}

TEST_F(CursorFollowerTest, RemovingTheLastRegisteredNameStopsFollowing)
{
    CursorRecord ibeam;
    ASSERT_EQ(server.copyRegistered(connection, "com.apple.coregraphics.IBeam", ibeam), X11WindowServer::success);
    CursorRecord badge = ibeam;
    badge.images = decoratedList(ibeam.images.get());
    CGSCursorSeed seed = 0;
    ASSERT_EQ(server.registerCursor(connection, "com.apple.coregraphics.IBeam", badge, &seed),
              X11WindowServer::success);
    ASSERT_TRUE(followingWithin(server, std::chrono::seconds(2)));
    {
        auto themedIBeam = themeCursor("xterm");
        ASSERT_TRUE(themedIBeam);
        CursorTestWindow later("xterm");
        EXPECT_TRUE(showsWithin(later, argbPixels(imageOfWidth(badge.images, framed)),
                                std::chrono::seconds(2)));
    }

    ASSERT_EQ(server.removeRegistered(connection, "com.apple.coregraphics.IBeam"), X11WindowServer::success);
    EXPECT_FALSE(server.followingNewCursors());
}

TEST(CursorFollowerWorkerTest, EndsByItselfWhenItsServerGoesAway)
{
    std::string providerDisplay = std::getenv("DISPLAY");
    auto own = std::make_unique<XvfbServer>();
    ASSERT_TRUE(own->running());
    setenv("DISPLAY", own->display().c_str(), 1);
    Display* client = XOpenDisplay(nullptr);
    ASSERT_NE(client, nullptr);
    Cursor cursor = XcursorLibraryLoadCursor(client, "left_ptr");
    XSync(client, False);

    CursorFollower follower;
    follower.follow("left_ptr", cursor, {CursorFollower::imageHash(1, 1, {0xFF000000u})});
    EXPECT_TRUE(follower.running());
    // Watching before the server goes, so the loss is seen while waiting.
    auto start = Clock::now();
    while (!follower.watching() && Clock::now() - start < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(follower.watching());
    setenv("DISPLAY", providerDisplay.c_str(), 1);

    XCloseDisplay(client);
    own.reset();
    start = Clock::now();
    while (follower.running() && Clock::now() - start < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(follower.running());
    follower.stop();
}
