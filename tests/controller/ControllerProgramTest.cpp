// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "providers/x11/X11TestDisplay.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <csignal>

namespace {

// The real program on the simulated window server, in a private home.
class ControllerProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> extra = {})
    {
        std::map<std::string, std::string> env{
            {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TARNWICK_WINDOW_SERVER", "sim"}};
        for (auto& [name, value] : extra)
            env[name] = value;
        return tarnwick.launch(env);
    }
    std::string launchLine(bool runtimeAvailable) const
    {
        const char* flag = runtimeAvailable ? "true" : "false";
        return "[INFO] Tarnwick launch. logFile=" + tarnwick.logPath() + " verbose=false runtimeAvailable=" + flag +
               " verified=" + flag + "\n";
    }

    TempHome home;
    TarnwickProgram tarnwick;
};

}

TEST_F(ControllerProgramTest, OnTheSimulatedServerTheLaunchLineReportsAVerifiedRuntimeAndTerminationRestores)
{
    auto program = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log() << program->standardError();
    std::string log = tarnwick.log();
    EXPECT_NE(log.find(launchLine(true)), std::string::npos) << log;
    // The controller's start-up comes between the early reset and the launch line.
    auto reset = log.find("Startup hard reset before controller init: true");
    auto verification = log.find("SystemCursorController verification result: byteOverride=true globalPath=true");
    auto launched = log.find("Tarnwick launch.");
    EXPECT_TRUE(reset < verification && verification < launched) << log;

    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(5), 0);
    log = tarnwick.log();
    EXPECT_EQ(occurrences(log, "[INFO] Termination restoreOriginal: true\n"), 1u) << log;
    auto terminating = log.find("Tarnwick terminating; restoring original cursors");
    auto restored = log.find("restoreOriginal completed. resetOK=true");
    EXPECT_TRUE(terminating < restored && restored != std::string::npos) << log;
}

TEST_F(ControllerProgramTest, WithoutAWindowServerTheLaunchLineReportsNoRuntimeAndRestoreFails)
{
    auto program = launch({{"TARNWICK_WINDOW_SERVER", TARNWICK_SIM_PROVIDER_EMPTY}});
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(5), 0);
    std::string log = tarnwick.log();
    EXPECT_NE(log.find(launchLine(false)), std::string::npos) << log;
    EXPECT_NE(log.find("[ERROR] restoreOriginal skipped: runtime unavailable\n"), std::string::npos) << log;
    EXPECT_EQ(occurrences(log, "[INFO] Termination restoreOriginal: false\n"), 1u) << log;
}

// Waits for the X11 provider to keep the cursors it installed by name once the
// program's connection closes: the X server drops them with the connection,
// after which no client can read the cursor on screen until a window sets a
// cursor again (retaining the connection's resources avoids it).
TEST_F(ControllerProgramTest, OnAnXServerTerminationLeavesTheThemesOwnArrowOnScreen)
{
    XvfbServer server;
    ASSERT_TRUE(server.running());
    std::string theme = selectCursorTheme();
    setenv("DISPLAY", server.display().c_str(), 1);
    auto arrow = themeCursor("left_ptr");
    ASSERT_TRUE(arrow.has_value()) << theme;
    // Another application's window showing the theme's arrow, as every running
    // application does; the pointer rests on it.
    CursorTestWindow window("left_ptr");
    ASSERT_EQ(window.onScreen().pixels, arrow->pixels);

    auto program = launch({{"DISPLAY", server.display()},
                           {"TARNWICK_WINDOW_SERVER", "x11"},
                           {"XCURSOR_THEME", theme},
                           {"XCURSOR_SIZE", "24"}});
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log() << program->standardError();
    std::string log = tarnwick.log();
    EXPECT_NE(log.find(launchLine(true)), std::string::npos) << log;

    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(10), 0) << program->standardError();
    log = tarnwick.log();
    EXPECT_EQ(occurrences(log, "[INFO] Termination restoreOriginal: true\n"), 1u) << log;
    for (bool onRoot : {false, true}) {
        if (onRoot)
            window.pointAtRoot();
        ScreenCursor live = window.onScreen();
        EXPECT_EQ(live.width, arrow->width) << (onRoot ? "root" : "window");
        EXPECT_EQ(live.height, arrow->height) << (onRoot ? "root" : "window");
        EXPECT_EQ(live.xHot, arrow->xHot) << (onRoot ? "root" : "window");
        EXPECT_EQ(live.yHot, arrow->yHot) << (onRoot ? "root" : "window");
        EXPECT_EQ(pixelHash(live.pixels), pixelHash(arrow->pixels)) << (onRoot ? "root" : "window");
    }
    EXPECT_EQ(program->standardError().find("X Error"), std::string::npos) << program->standardError();
}
