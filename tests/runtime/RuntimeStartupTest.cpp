#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

const std::string everythingResolved =
    "CGSRuntime initialized. handles=1 main=true register=true registerSingle=true copy=true set=true "
    "createImage=true cursorName=true dockOverride=true systemSet=true systemSetSeed=true show=true hide=true "
    "scale=true coreReset=true coreSetSeed=true coreCopy=true removeRegistered=true globalData=true currentSeed=true";
const std::string nothingResolved =
    "CGSRuntime initialized. handles=1 main=false register=false registerSingle=false copy=false set=false "
    "createImage=false cursorName=false dockOverride=false systemSet=false systemSetSeed=false show=false "
    "hide=false scale=false coreReset=false coreSetSeed=false coreCopy=false removeRegistered=false "
    "globalData=false currentSeed=false";

// The real program without a display, a private home and the window server
// the test names; it is stopped once it has launched.
class RuntimeStartupTest : public ::testing::Test {
protected:
    struct Run {
        std::string log;
        std::string standardError;
        std::optional<int> status;
    };

    Run run(const std::string& windowServer)
    {
        auto program =
            tarnwick.launch({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TARNWICK_WINDOW_SERVER", windowServer}});
        EXPECT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log() << program->standardError();
        program->signal(SIGTERM);
        Run result;
        result.status = program->wait(5);
        result.log = tarnwick.log();
        result.standardError = program->standardError();
        return result;
    }

    TempHome home;
    TarnwickProgram tarnwick;
};

}

TEST_F(RuntimeStartupTest, TheSimulatedServerResolvesEverythingAndTheStartupResetRuns)
{
    for (std::string choice : {"sim", ""}) {
        Run result = run(choice);
        EXPECT_EQ(result.status, 0) << "choice '" << choice << "'";
        EXPECT_TRUE(inOrder(result.log, {"[INFO] Window-server provider loaded: ", "libtarnwick_provider_sim.so\n",
                                         "[INFO] " + everythingResolved + "\n",
                                         "[INFO] Startup hard reset before controller init: true\n",
                                         "Tarnwick launch."}))
            << "choice '" << choice << "'\n"
            << result.log;
        EXPECT_EQ(result.log.find("Startup hard reset skipped"), std::string::npos);
    }
}

TEST_F(RuntimeStartupTest, AServerWithoutFunctionsOrNoServerAtAllStillRunsAndEndsCleanly)
{
    Run empty = run(TARNWICK_SIM_PROVIDER_EMPTY);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(inOrder(empty.log, {"[INFO] " + nothingResolved + "\n", "[ERROR] Failed to resolve mainConnectionID\n",
                                    "[WARN] Startup hard reset skipped: missing main connection ID\n",
                                    "Tarnwick launch.", "Tarnwick terminating"}))
        << empty.log;
    EXPECT_EQ(empty.standardError.find("could not be loaded"), std::string::npos);

    const std::string missing = home.path() + "/no-such-provider.so";
    Run none = run(missing);
    EXPECT_EQ(none.status, 0);
    const std::string failure = "Window-server provider " + missing + " could not be loaded: " + missing +
                                ": cannot open shared object file: No such file or directory";
    EXPECT_NE(none.standardError.find("tarnwick: " + failure + "\n"), std::string::npos) << none.standardError;
    EXPECT_TRUE(inOrder(none.log, {"[ERROR] " + failure + "\n", "[INFO] " + nothingResolved + "\n",
                                   "[WARN] Startup hard reset skipped: missing main connection ID\n",
                                   "Tarnwick launch."}))
        << none.log;
}
