#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace {

// The program with no display and a private home.
class ProcessShellTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> extra = {})
    {
        // The shell's own behaviour, without the cursor work a window server
        // brings (that is tested with the providers).
        std::map<std::string, std::string> env = {
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"TARNWICK_WINDOW_SERVER", std::string(TARNWICK_BINARY_DIR) + "/src/libtarnwick_provider_sim_empty.so"}};
        env.merge(extra);
        return tarnwick.launch(env);
    }
    TempHome home;
    TarnwickProgram tarnwick;
};

}

TEST_F(ProcessShellTest, EachTerminationSignalIsLoggedOnceAndEndsCleanlyWithTheRestore)
{
    for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        auto program = launch();
        ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch. logFile=" + tarnwick.logPath() + " verbose=false")) << signo;
        program->signal(signo);
        auto status = program->wait(1.0);
        ASSERT_TRUE(status.has_value()) << "signal " << signo << " did not end the program within 1 s";
        EXPECT_EQ(*status, 0);
        std::string log = tarnwick.log();
        std::string received = "Received signal " + std::to_string(signo) + "; requesting graceful termination";
        EXPECT_EQ(occurrences(log, received), 1u) << log;
        auto at = log.find(received);
        auto terminating = log.find("Tarnwick terminating; restoring original cursors");
        auto restore = log.find("Termination restoreOriginal: ");
        EXPECT_TRUE(at < terminating && terminating < restore) << log;
    }
}

TEST_F(ProcessShellTest, ThreeSignalsInARowRunTheTerminationSequenceOnce)
{
    auto program = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
    for (int i = 0; i < 3; ++i)
        program->signal(SIGTERM);
    auto status = program->wait(1.0);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    std::string log = tarnwick.log();
    EXPECT_GE(occurrences(log, "Received signal 15; requesting graceful termination"), 1u);
    EXPECT_EQ(occurrences(log, "Tarnwick terminating; restoring original cursors"), 1u);
    EXPECT_EQ(occurrences(log, "Termination restoreOriginal: "), 1u);
}

TEST_F(ProcessShellTest, StartUpLogsTheWatchdogSwitchAsTheEnvironmentSays)
{
    struct Case {
        const char* value;
        bool enabled;
    };
    for (Case c : {Case{"YES", true}, Case{"on", false}, Case{"2", false}, Case{"", false}}) {
        auto program = launch({{"ORVELLE_ENABLE_SEED_WATCHDOG", c.value}});
        ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
        program->signal(SIGTERM);
        ASSERT_TRUE(program->wait(2.0).has_value());
        bool disabledLine = tarnwick.log().find("Cursor seed watchdog disabled (set "
                                                             "ORVELLE_ENABLE_SEED_WATCHDOG=1 to enable)") !=
                            std::string::npos;
        EXPECT_EQ(disabledLine, !c.enabled) << "value '" << c.value << "'";
    }
}

TEST_F(ProcessShellTest, StartsAndStopsWhateverStandsAtTheLogPath)
{
    std::error_code ignored;
    std::filesystem::remove_all(tarnwick.logPath(), ignored);
    std::filesystem::create_directory(tarnwick.logPath());
    auto program = launch();
    // With nowhere to log, readiness shows only as a live process.
    EXPECT_FALSE(program->wait(0.5).has_value());
    program->signal(SIGTERM);
    auto status = program->wait(2.0);
    std::filesystem::remove_all(tarnwick.logPath(), ignored);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);

    auto quiet = launch({{"ORVELLE_ENABLE_LOGS", "0"}, {"ORVELLE_VERBOSE", "1"}});
    EXPECT_FALSE(quiet->wait(0.5).has_value());
    quiet->signal(SIGINT);
    ASSERT_TRUE(quiet->wait(2.0).has_value());
    EXPECT_FALSE(TempHome::exists(tarnwick.logPath()));
}

TEST_F(ProcessShellTest, CommandLineAnswersHelpVersionAndUnknownOptions)
{
    ChildProcess help({ChildProcess::programPath(), "--help"});
    EXPECT_EQ(help.wait(10), 0);
    EXPECT_NE(help.standardOutput().find("Usage: tarnwick"), std::string::npos);

    ChildProcess version({ChildProcess::programPath(), "--version"});
    EXPECT_EQ(version.wait(10), 0);
    EXPECT_EQ(version.standardOutput().rfind("tarnwick ", 0), 0u);

    ChildProcess unknown({ChildProcess::programPath(), "--bogus"});
    EXPECT_EQ(unknown.wait(10), 2);
    EXPECT_NE(unknown.standardError().find("Usage: tarnwick"), std::string::npos);
    EXPECT_TRUE(unknown.standardOutput().empty());
}
