#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace {

// The program with no display and a private home.
class ProcessShellTest : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment(std::map<std::string, std::string> extra = {}) const
    {
        // The shell's own behaviour, without the cursor work a window server
        // brings (that is tested with the providers).
        std::map<std::string, std::string> env = {
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"XDG_RUNTIME_DIR", home.path() + "/run"},
            {"DBUS_SESSION_BUS_ADDRESS", TarnwickProgram::noSessionBus},
            {"TARNWICK_LOG_FILE", tarnwick.logPath()},
            {"TARNWICK_WINDOW_SERVER", std::string(TARNWICK_BINARY_DIR) + "/src/libtarnwick_provider_sim_empty.so"}};
        for (auto& [name, value] : extra)
            env.insert_or_assign(name, value);
        return env;
    }
    std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> extra = {})
    {
        return tarnwick.launch(environment(std::move(extra)));
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

    // With no Tarnwick to reach, a control option says so.
    ChildProcess status({ChildProcess::programPath(), "--status"}, environment());
    EXPECT_EQ(status.wait(10), 1);
    EXPECT_NE(status.standardError().find("Tarnwick is not running"), std::string::npos) << status.standardError();

    ChildProcess unknown({ChildProcess::programPath(), "--bogus"});
    EXPECT_EQ(unknown.wait(10), 2);
    EXPECT_NE(unknown.standardError().find("Usage: tarnwick"), std::string::npos);
    EXPECT_TRUE(unknown.standardOutput().empty());
}

TEST_F(ProcessShellTest, ASecondInstanceOnTheDisplaySaysSoAndLeavesTheFirstAlone)
{
    auto first = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
    const std::string firstLog = tarnwick.log();

    ChildProcess second({ChildProcess::programPath()}, environment());
    EXPECT_EQ(second.wait(1.0), 0);
    EXPECT_EQ(second.standardError(), "tarnwick: Tarnwick is already running\n");
    EXPECT_EQ(tarnwick.log().rfind(firstLog, 0), 0u) << "the first run's log was touched";
    EXPECT_EQ(occurrences(tarnwick.log(), "Tarnwick launch."), 1u);
    // A program on another display is another instance.
    ChildProcess elsewhere({ChildProcess::programPath(), "--version"}, environment({{"DISPLAY", ":97"}}));
    EXPECT_EQ(elsewhere.wait(10), 0);
    for (const char* option : {"--version", "--help", "--detect"}) {
        ChildProcess oneShot({ChildProcess::programPath(), option}, environment());
        EXPECT_EQ(oneShot.wait(10), 0) << option;
    }
    EXPECT_FALSE(first->wait(0.1).has_value());

    // The lock goes with the process, also when it is killed.
    first->signal(SIGKILL);
    ASSERT_TRUE(first->wait(5).has_value());
    auto after = launch();
    EXPECT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
    after->signal(SIGTERM);
    EXPECT_EQ(after->wait(2.0), 0);
}

// A display that is named but does not answer leaves the program on the
// offscreen platform, never inside Qt's abort.
TEST_F(ProcessShellTest, ADisplayThatDoesNotAnswerFallsBackToNoScreenWithOneWarning)
{
    const std::string runtime = home.path() + "/run";
    std::filesystem::create_directories(runtime);
    TempHome::writeFile(runtime + "/wayland-9", "a socket left behind by a compositor that is gone");
    auto warning = [](const std::string& x11, const std::string& wayland) {
        return "[WARN] No display server answers (DISPLAY=" + x11 + " WAYLAND_DISPLAY=" + wayland +
               "); running without a screen on the offscreen platform";
    };
    for (auto display : {std::map<std::string, std::string>{{"WAYLAND_DISPLAY", "wayland-9"}},
                         std::map<std::string, std::string>{{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", "wayland-9"}}}) {
        auto program = launch(display);
        ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << program->standardError();
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(2.0), 0);
        std::string log = tarnwick.log();
        EXPECT_EQ(occurrences(log, warning(display["DISPLAY"], "wayland-9")), 1u) << log;
    }
    // No display at all, as in the tests above, is told the same way.
    auto headless = launch();
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch."));
    headless->signal(SIGTERM);
    EXPECT_EQ(headless->wait(2.0), 0);
    EXPECT_EQ(occurrences(tarnwick.log(), warning("", "")), 1u);
}

// The session ends under the program: no cursor work is left to do, but the
// user's pointer colours come back and the end is reported.
TEST_F(ProcessShellTest, ALostDisplayEndsThroughTheTerminationSequenceWithStatusOne)
{
    TempHome::writeFile(home.path() + "/Library/Preferences/com.apple.universalaccess.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                        "\t<key>cursorIsCustomized</key>\n\t<true/>\n</dict>\n</plist>\n");
    auto server = std::make_unique<XvfbServer>();
    ASSERT_TRUE(server->running());
    auto program = launch({{"DISPLAY", server->display()}});
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << program->standardError();
    ASSERT_TRUE(tarnwick.waitForLog("Accessibility cursor override active=true"));
    server.reset();
    auto status = program->wait(1.0);
    ASSERT_TRUE(status.has_value()) << "still running 1 s after the X server ended\n" << tarnwick.log();
    EXPECT_EQ(*status, 1) << program->standardError();
    std::string log = tarnwick.log();
    EXPECT_EQ(occurrences(log, "[ERROR] Display connection lost: "), 1u) << log;
    auto lost = log.find("[ERROR] Display connection lost: ");
    auto terminating = log.find("Tarnwick terminating; restoring original cursors");
    auto restored = log.find("Restored original Accessibility cursor appearance settings");
    EXPECT_TRUE(lost < terminating && terminating < restored && restored != std::string::npos) << log;
}
