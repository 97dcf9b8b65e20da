// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "capes/CursorCapeStore.h"
#include "controller/SystemCursorController.h"
#include "language/CursorStyle.h"
#include "platform/runloop/ManualRunLoop.h"
#include "runtime/LogCapture.h"

#include "providers/x11/X11TestDisplay.h"
#include "support/XvfbServer.h"

#include <algorithm>
#include <dlfcn.h>

namespace {

// The provider keeps its connection for the life of the process, so the X
// server outlives every test here.
class ApplyDisplay : public ::testing::Environment {
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

const auto* const applyDisplay = ::testing::AddGlobalTestEnvironment(new ApplyDisplay);

// The English letter badge's fill, opaque, as X reports a cursor pixel.
constexpr std::uint32_t englishFill = 0xFF0033B3;

}

TEST(ApplyOnAnXServerTest, TheEnglishBadgeReachesTheLiveCursorAndRestoreBringsBackTheThemesArrow)
{
    auto arrow = themeCursor("left_ptr");
    ASSERT_TRUE(arrow.has_value()) << ApplyDisplay::theme;
    // Another application's window showing the theme's arrow; the pointer rests on it.
    CursorTestWindow window("left_ptr");
    ASSERT_EQ(window.onScreen().pixels, arrow->pixels);

    ManualRunLoop loop;
    RunLoop::setMain(&loop);
    LogCapture log;
    CursorCapeStore capeStore;
    CGSRuntime runtime{std::vector<void*>{dlopen(TARNWICK_X11_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
    auto controller = std::make_shared<SystemCursorController>(runtime, capeStore, ActivationSwitches{});
    ASSERT_TRUE(controller->isRuntimeAvailable());

    auto badge = marker(CursorStyle::letterBadge, InputLanguage::make("en", "English (US)", "us"));
    ASSERT_TRUE(controller->apply(badge, "en", "letterBadge", false));
    loop.advance(0.5);

    ScreenCursor badged = window.onScreen();
    auto fillPixels = std::count(badged.pixels.begin(), badged.pixels.end(), englishFill);
    // The disc is 18 points across; most of its inside is the plain fill.
    EXPECT_GT(fillPixels, 40) << "cursor " << badged.width << "x" << badged.height;
    EXPECT_GT(badged.height, arrow->height);
    EXPECT_EQ(std::count(arrow->pixels.begin(), arrow->pixels.end(), englishFill), 0);

    ASSERT_TRUE(controller->restoreOriginal());
    loop.advance(0.5);
    ScreenCursor restored = window.onScreen();
    EXPECT_EQ(restored.width, arrow->width);
    EXPECT_EQ(restored.height, arrow->height);
    EXPECT_EQ(restored.xHot, arrow->xHot);
    EXPECT_EQ(restored.yHot, arrow->yHot);
    EXPECT_EQ(pixelHash(restored.pixels), pixelHash(arrow->pixels));
    EXPECT_TRUE(restored.pixels == arrow->pixels);
    RunLoop::setMain(nullptr);
}
