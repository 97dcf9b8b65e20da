// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "X11TestDisplay.h"

#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <csignal>

namespace {

const std::string everythingResolved =
    "CGSRuntime initialized. handles=1 main=true register=true registerSingle=true copy=true set=true "
    "createImage=true cursorName=true dockOverride=true systemSet=true systemSetSeed=true show=true hide=true "
    "scale=true coreReset=true coreSetSeed=true coreCopy=true removeRegistered=true globalData=true currentSeed=true";

}

TEST(X11ProgramTest, TheProgramOnAnXServerResolvesEveryFunctionFromTheX11ProviderAndResetsAtStartup)
{
    XvfbServer server;
    ASSERT_TRUE(server.running());
    TempHome home;
    TarnwickProgram tarnwick;
    std::string theme = selectCursorTheme();
    // Chosen by name, and by default when there is a display.
    for (std::string choice : {"x11", ""}) {
        auto program = tarnwick.launch({{"DISPLAY", server.display()},
                                        {"WAYLAND_DISPLAY", ""},
                                        {"TARNWICK_WINDOW_SERVER", choice},
                                        {"XCURSOR_THEME", theme},
                                        {"XCURSOR_SIZE", "24"}});
        EXPECT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log() << program->standardError();
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << "choice '" << choice << "'\n" << program->standardError();
        std::string log = tarnwick.log();
        EXPECT_TRUE(inOrder(log, {"[INFO] Window-server provider loaded: ", "libtarnwick_provider_x11.so\n",
                                  "[INFO] " + everythingResolved + "\n",
                                  "[INFO] Startup hard reset before controller init: true\n", "Tarnwick launch."}))
            << "choice '" << choice << "'\n"
            << log << program->standardError();
        EXPECT_EQ(program->standardError().find("X Error"), std::string::npos) << program->standardError();
    }
}
