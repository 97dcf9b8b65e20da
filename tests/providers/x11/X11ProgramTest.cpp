// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "X11TestDisplay.h"

#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <csignal>
#include <filesystem>

namespace {

const std::string logPath = "/tmp/Tarnwick.log";

const std::string everythingResolved =
    "CGSRuntime initialized. handles=1 main=true register=true registerSingle=true copy=true set=true "
    "createImage=true cursorName=true dockOverride=true systemSet=true systemSetSeed=true show=true hide=true "
    "scale=true coreReset=true coreSetSeed=true coreCopy=true removeRegistered=true globalData=true currentSeed=true";

bool inOrder(const std::string& text, const std::vector<std::string>& pieces)
{
    std::size_t at = 0;
    for (const auto& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos)
            return false;
    }
    return true;
}

}

TEST(X11ProgramTest, TheProgramOnAnXServerResolvesEveryFunctionFromTheX11ProviderAndResetsAtStartup)
{
    XvfbServer server;
    ASSERT_TRUE(server.running());
    TempHome home;
    std::string theme = selectCursorTheme();
    // Chosen by name, and by default when there is a display.
    for (std::string choice : {"x11", ""}) {
        std::error_code ignored;
        std::filesystem::remove(logPath, ignored);
        ChildProcess program({ChildProcess::programPath()}, {{"DISPLAY", server.display()},
                                                            {"WAYLAND_DISPLAY", ""},
                                                            {"TARNWICK_WINDOW_SERVER", choice},
                                                            {"XCURSOR_THEME", theme},
                                                            {"XCURSOR_SIZE", "24"}});
        bool launched = waitUntil(30, [] {
            return TempHome::readFile(logPath).find("Tarnwick launch.") != std::string::npos;
        });
        EXPECT_TRUE(launched) << TempHome::readFile(logPath) << program.standardError();
        program.signal(SIGTERM);
        EXPECT_EQ(program.wait(10), 0) << "choice '" << choice << "'";
        std::string log = TempHome::readFile(logPath);
        EXPECT_TRUE(inOrder(log, {"[INFO] Window-server provider loaded: ", "libtarnwick_provider_x11.so\n",
                                  "[INFO] " + everythingResolved + "\n",
                                  "[INFO] Startup hard reset before controller init: true\n", "Tarnwick launch."}))
            << "choice '" << choice << "'\n"
            << log << program.standardError();
        EXPECT_EQ(program.standardError().find("X Error"), std::string::npos) << program.standardError();
    }
}
