// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "X11TestDisplay.h"

#include "platform/provider/WindowServerFunctions.h"
#include "providers/x11/X11Connection.h"
#include "support/XvfbServer.h"

#include <X11/Xcursor/Xcursor.h>

#include <memory>

TEST(X11ConnectionTest, ErrorsInsideATrapBecomeCodesInsteadOfEndingTheProcess)
{
    XvfbServer server;
    ASSERT_TRUE(server.running());
    setenv("DISPLAY", server.display().c_str(), 1);
    X11Connection connection;
    ASSERT_TRUE(connection.usable());

    X11Connection::Trap trap(connection);
    XFreeCursor(connection.display(), 0x1234567);
    EXPECT_EQ(trap.finish(), BadCursor);

    X11Connection::Trap clean(connection);
    XSync(connection.display(), False);
    EXPECT_EQ(clean.finish(), 0);
}

TEST(X11ConnectionTest, ALostServerMakesEveryFunctionFailCleanly)
{
    selectCursorTheme();
    auto server = std::make_unique<XvfbServer>();
    ASSERT_TRUE(server->running());
    setenv("DISPLAY", server->display().c_str(), 1);

    CGSConnectionID connection = CGSMainConnectionID();
    ASSERT_NE(connection, 0);
    CGSize size{};
    CGPoint hotSpot{};
    uint64_t frameCount = 0;
    CGFloat frameDuration = 0;
    CFArrayRef images = nullptr;
    ASSERT_EQ(CGSCopyRegisteredCursorImages(connection, "com.apple.coregraphics.Arrow", &size, &hotSpot, &frameCount,
                                            &frameDuration, &images),
              0);
    auto arrow = CFRef<CFArrayRef>::adopt(images);
    CGSCursorSeed seed = 0;
    ASSERT_EQ(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, size, hotSpot,
                                          frameCount, frameDuration, arrow.get(), &seed),
              0);

    server.reset();

    EXPECT_NE(CGSRegisterCursorWithImages(connection, "com.apple.coregraphics.Arrow", true, true, size, hotSpot,
                                          frameCount, frameDuration, arrow.get(), &seed),
              0);
    EXPECT_NE(CGSSetRegisteredCursor(connection, "com.apple.coregraphics.Arrow", &seed), 0);
    EXPECT_NE(CoreCursorUnregisterAll(connection), 0);
    EXPECT_NE(CoreCursorSet(connection, 0), 0);
    EXPECT_NE(CGSHideCursor(connection), 0);
    EXPECT_NE(CGSShowCursor(connection), 0);
    float scale = 0;
    EXPECT_NE(CGSGetCursorScale(connection, &scale), 0);
    int32_t byteCount = 0;
    EXPECT_NE(CGSGetGlobalCursorDataSize(connection, &byteCount), 0);
    images = nullptr;
    EXPECT_NE(CGSCopyRegisteredCursorImages(connection, "com.apple.coregraphics.Arrow", &size, &hotSpot, &frameCount,
                                            &frameDuration, &images),
              0);
    EXPECT_EQ(images, nullptr);
    EXPECT_EQ(CGSCreateRegisteredCursorImage(connection, "com.apple.coregraphics.Arrow", &hotSpot), nullptr);
    EXPECT_EQ(CGSCurrentCursorSeed(), 0);
    EXPECT_EQ(CGSMainConnectionID(), 0);
    CGFloat height = 0;
    EXPECT_FALSE(TarnwickPrimaryScreenHeight(&height));
    auto event = CFRef<CGEventRef>::adopt(
        CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPoint{1, 1}, kCGMouseButtonLeft));
    CGEventPost(kCGHIDEventTap, event.get());
    // Still here: nothing ended the process.
    SUCCEED();
}
