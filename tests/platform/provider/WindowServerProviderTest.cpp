#include "platform/provider/WindowServerProvider.h"

#include "base/AppLog.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using WindowServerProvider::chosenLibrary;

TEST(WindowServerProviderTest, TheEnvironmentNamesAProviderOrALibraryAndTheDisplayPicksTheDefault)
{
    TempHome home;
    const std::string bin = home.path() + "/bin";
    const std::string sim = bin + "/libtarnwick_provider_sim.so";
    const std::string x11 = bin + "/libtarnwick_provider_x11.so";

    // Nothing installed: the first place looked at, so a failure names it.
    EXPECT_EQ(chosenLibrary(std::nullopt, std::nullopt, bin), sim);
    EXPECT_EQ(chosenLibrary(std::nullopt, std::string(), bin), sim) << "an empty DISPLAY is no display";
    EXPECT_EQ(chosenLibrary(std::nullopt, std::string(":0"), bin), x11);
    EXPECT_EQ(chosenLibrary(std::string(), std::string(":0"), bin), x11) << "an empty choice is no choice";
    EXPECT_EQ(chosenLibrary(std::string("sim"), std::string(":0"), bin), sim);
    EXPECT_EQ(chosenLibrary(std::string("x11"), std::nullopt, bin), x11);
    EXPECT_EQ(chosenLibrary(std::string("/opt/ws/provider.so"), std::string(":0"), bin), "/opt/ws/provider.so");
    EXPECT_EQ(chosenLibrary(std::string("libother.so"), std::nullopt, bin), "libother.so")
        << "other values go to the loader as they are";
    std::string theme = bin + "/libtarnwick_provider_theme.so";
    EXPECT_EQ(chosenLibrary(std::nullopt, std::string(":0"), bin, true), theme) << "XWayland's DISPLAY is not X11";
    EXPECT_EQ(chosenLibrary(std::string("x11"), std::string(":0"), bin, true), x11) << "the user may pick x11";
    EXPECT_EQ(chosenLibrary(std::string("theme"), std::nullopt, bin), theme);

    // Installed layout: <prefix>/bin/tarnwick with the private library folder.
    const std::string installed = bin + "/" + WindowServerProvider::privateLibraryFolder;
    EXPECT_TRUE(std::string(WindowServerProvider::privateLibraryFolder).starts_with("../lib"));
    EXPECT_TRUE(std::string(WindowServerProvider::privateLibraryFolder).ends_with("/tarnwick"));
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(installed);
    TempHome::writeFile(installed + "/libtarnwick_provider_sim.so", "");
    EXPECT_EQ(chosenLibrary(std::nullopt, std::nullopt, bin), installed + "/libtarnwick_provider_sim.so");
    // Next to the program wins (the build tree).
    TempHome::writeFile(sim, "");
    EXPECT_EQ(chosenLibrary(std::nullopt, std::nullopt, bin), sim);
}

TEST(WindowServerProviderTest, LoadingReportsTheLibraryAndTheLoadersReason)
{
    TempHome home;
    const std::string logPath = home.path() + "/Tarnwick.log";
    unsetenv("ORVELLE_ENABLE_LOGS");
    AppLog::testing::reset(logPath);

    setenv("TARNWICK_WINDOW_SERVER", "/nonexistent/provider.so", 1);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WindowServerProvider::loadFromEnvironment());
    std::string stderrText = testing::internal::GetCapturedStderr();
    AppLog::flush();
    std::string log = TempHome::readFile(logPath);
    const std::string line = "Window-server provider /nonexistent/provider.so could not be loaded: "
                             "/nonexistent/provider.so: cannot open shared object file: No such file or directory";
    EXPECT_EQ(stderrText, "tarnwick: " + line + "\n");
    EXPECT_NE(log.find("[ERROR] " + line + "\n"), std::string::npos) << log;

    // Any loadable library is accepted; the runtime decides what it offers.
    setenv("TARNWICK_WINDOW_SERVER", "libc.so.6", 1);
    EXPECT_TRUE(WindowServerProvider::loadFromEnvironment());
    AppLog::flush();
    EXPECT_NE(TempHome::readFile(logPath).find("[INFO] Window-server provider loaded: libc.so.6\n"),
              std::string::npos);
    unsetenv("TARNWICK_WINDOW_SERVER");
}
