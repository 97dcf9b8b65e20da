#include "platform/graphics/QtPlatformChoice.h"

#include <gtest/gtest.h>

TEST(QtPlatformChoiceTest, AWaylandSessionRunsWithOrWithoutQtsWaylandPlugin)
{
    using QtPlatformChoice::platformFor;
    // (Wayland, DISPLAY, plugin installed)
    EXPECT_EQ(platformFor(true, true, true), "wayland;xcb") << "XWayland catches a compositor that does not answer";
    EXPECT_EQ(platformFor(true, false, true), "wayland;offscreen");
    EXPECT_EQ(platformFor(true, true, false), "xcb");
    EXPECT_EQ(platformFor(true, false, false), "offscreen");
    EXPECT_EQ(platformFor(false, true, false), std::nullopt) << "an X11 session keeps Qt's own choice";
    EXPECT_EQ(platformFor(false, false, false), "offscreen");
}
