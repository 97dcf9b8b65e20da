#include "ProgramOnXServer.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

// Enough of a badge's solid inside to be a badge, not a stray pixel of
// antialiasing that happens to come near the colour.
constexpr int badgePixels = 20;

const Rgb english{0, 51, 179};
const Rgb russian{255, 59, 48};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string describe(const ScreenCursor& cursor)
{
    return std::to_string(cursor.width) + "x" + std::to_string(cursor.height) + " hot=" + std::to_string(cursor.xHot) +
           "," + std::to_string(cursor.yHot) + " hash=" + std::to_string(pixelHash(cursor.pixels)) + " en=" +
           std::to_string(opaquePixelsNear(cursor, english)) + " ru=" + std::to_string(opaquePixelsNear(cursor, russian)) +
           " de=" + std::to_string(opaquePixelsNear(cursor, letterBadgeFill("de")));
}

// The lines of the last switch to the language, from "Applying cursor" to
// "Apply requested", as a user's log shows them wherever and whenever it ran:
// without time stamps, the home folder, the counts and serials that depend on
// what ran before, and the trigger (the poll may see a change before its
// notification does).
std::string lastSwitchLines(const std::string& log, const std::string& code, const std::string& home)
{
    std::size_t start = log.rfind("[INFO] Applying cursor for language=" + code + " ");
    std::size_t end = log.find("] Apply requested", start);
    if (start == std::string::npos || end == std::string::npos)
        return {};
    std::istringstream lines(log.substr(start, log.find('\n', end) - start));
    static const std::regex varying("(bytes|cursorSeedBefore|cursorSeedAfter|trigger)=[0-9a-z-]+");
    std::string result;
    for (std::string line; std::getline(lines, line);) {
        for (std::size_t at; (at = line.find(home)) != std::string::npos;)
            line.replace(at, home.size(), "HOME");
        std::size_t text = line.find("[INFO]");
        result += std::regex_replace(line.substr(text == std::string::npos ? 0 : text), varying, "$1=N") + "\n";
    }
    return result;
}

class LanguageSwitchProgramTest : public ::testing::Test {
protected:
    // Waits for the cursor on screen to carry the fill and none of the other
    // badges' fills; the seconds it took, or nothing.
    std::optional<double> waitForBadge(Rgb fill, const std::vector<Rgb>& others, double seconds)
    {
        auto start = Clock::now();
        bool shown = waitUntil(seconds, [&] {
            ScreenCursor now = session.live();
            if (opaquePixelsNear(now, fill) < badgePixels)
                return false;
            for (const Rgb& other : others) {
                if (opaquePixelsNear(now, other) > 0)
                    return false;
            }
            return true;
        });
        if (!shown)
            return std::nullopt;
        return secondsSince(start);
    }

    std::string failureContext(const ChildProcess& program)
    {
        return "on screen: " + describe(session.live()) + "\n" + session.log() + program.standardError();
    }

    ProgramOnXServer session;
};

}

TEST_F(LanguageSwitchProgramTest, ThePointerFollowsTheKeyboardGroupAndTerminationLeavesTheThemesOwnArrow)
{
    ASSERT_TRUE(session.ready());
    // The colours a user sees, independent of how the program names them.
    Rgb german = letterBadgeFill("de");
    ASSERT_EQ(opaquePixelsNear(session.themeArrow(), english), 0);
    ASSERT_EQ(opaquePixelsNear(session.themeArrow(), russian), 0);
    ASSERT_EQ(opaquePixelsNear(session.themeArrow(), german), 0);

    auto program = session.launch();
    ASSERT_TRUE(session.waitForLog("Tarnwick launch.")) << failureContext(*program);
    EXPECT_TRUE(waitForBadge(english, {russian, german}, 10)) << failureContext(*program);
    // Under the pointer in another application's window, and on the bare
    // desktop alike.
    session.window().pointAtRoot();
    EXPECT_TRUE(waitForBadge(english, {russian, german}, 2)) << "root: " << failureContext(*program);
    session.window().pointInside();

    session.lockGroup(1);
    auto russianAfter = waitForBadge(russian, {english, german}, 5);
    ASSERT_TRUE(russianAfter) << failureContext(*program);
    EXPECT_LE(*russianAfter, 1.0) << failureContext(*program);

    session.lockGroup(2);
    auto germanAfter = waitForBadge(german, {english, russian}, 5);
    ASSERT_TRUE(germanAfter) << failureContext(*program);
    EXPECT_LE(*germanAfter, 1.0) << failureContext(*program);

    // Back to a language already shown: its cached set comes back as promptly.
    session.lockGroup(0);
    auto englishAgain = waitForBadge(english, {russian, german}, 5);
    ASSERT_TRUE(englishAgain) << failureContext(*program);
    EXPECT_LE(*englishAgain, 1.0) << failureContext(*program);

    // The screen may show a badge before the apply's last lines are written.
    EXPECT_TRUE(waitUntil(5, [&] {
        return inOrder(session.log(),
                       {"Apply requested trigger=launch force=true", "newCode=en", "applied=true", "newCode=ru",
                        "applied=true", "newCode=de", "applied=true", "newCode=en", "applied=true"});
    })) << session.log();
    // A switch to a language seen before says what it always said, line for
    // line, however much of its work is remembered now.
    std::ifstream expected(std::string(TARNWICK_SOURCE_DIR) + "/tests/e2e/warm-switch.log");
    std::string warmSwitch((std::istreambuf_iterator<char>(expected)), std::istreambuf_iterator<char>());
    EXPECT_EQ(lastSwitchLines(session.log(), "en", session.home().path()), warmSwitch);
    // With no update feed and no telemetry endpoint, nothing is fetched, and
    // the network library and the TLS stacks it brings are never mapped.
    std::ifstream maps("/proc/" + std::to_string(program->pid()) + "/maps");
    std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    EXPECT_EQ(mapped.find("libcurl"), std::string::npos);
    EXPECT_EQ(mapped.find("libcrypto"), std::string::npos);

    program->signal(SIGTERM);
    ASSERT_EQ(program->wait(10), 0) << program->standardError();
    std::string log = session.log();
    EXPECT_NE(log.find("[INFO] Termination restoreOriginal: true\n"), std::string::npos) << log;
    EXPECT_TRUE(session.showsThemeArrow()) << describe(session.live());
    session.window().pointAtRoot();
    EXPECT_TRUE(session.showsThemeArrow()) << "root: " << describe(session.live());
    EXPECT_EQ(program->standardError().find("X Error"), std::string::npos) << program->standardError();
}

TEST_F(LanguageSwitchProgramTest, AfterAKillTheNextStartPutsTheThemesArrowBackBeforeDrawingAnything)
{
    ASSERT_TRUE(session.ready());
    session.lockGroup(1);
    auto crashed = session.launch();
    ASSERT_TRUE(session.waitForLog("Tarnwick launch.")) << failureContext(*crashed);
    ASSERT_TRUE(waitForBadge(russian, {english}, 10)) << failureContext(*crashed);
    crashed->signal(SIGKILL);
    ASSERT_EQ(crashed->wait(10), 128 + SIGKILL);
    // Nothing undid the decoration: every application still shows it.
    ASSERT_GT(opaquePixelsNear(session.live(), russian), badgePixels) << describe(session.live());

    // The user's style is the system cursor, right-handed, so the next start
    // draws nothing at all: what is on screen while it runs is what its
    // start-up reset left. (A fresh installation is left-handed, which would
    // install mirrored plain cursors instead.)
    TempHome::writeFile(session.home().configHome() + "/tarnwick/com.tarnwick.app.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                        "<plist version=\"1.0\">\n<dict>\n"
                        "\t<key>tarnwick.cursor_style.global</key>\n\t<string>system</string>\n"
                        "\t<key>tarnwick.left_handed</key>\n\t<false/>\n"
                        "</dict>\n</plist>\n");
    auto restarted = session.launch();
    ASSERT_TRUE(session.waitForLog("cursorController.apply result language=ru style=system"))
        << failureContext(*restarted);
    std::string log = session.log();
    EXPECT_TRUE(inOrder(log, {"[INFO] Startup hard reset before controller init: true\n", "Tarnwick launch.",
                              "Applying cursor for language=ru badge=Ру style=system marker=system"}))
        << log;
    EXPECT_TRUE(waitUntil(2, [&] { return session.showsThemeArrow(); }))
        << describe(session.live()) << " theme: " << describe(session.themeArrow()) << "\n"
        << session.log();

    restarted->signal(SIGTERM);
    ASSERT_EQ(restarted->wait(10), 0) << restarted->standardError();
    EXPECT_TRUE(session.showsThemeArrow()) << describe(session.live());
}

TEST_F(LanguageSwitchProgramTest, AfterAKillTheNextStartResetsBeforeItDrawsTheCurrentLanguage)
{
    ASSERT_TRUE(session.ready());
    session.lockGroup(1);
    auto crashed = session.launch();
    ASSERT_TRUE(session.waitForLog("Tarnwick launch.")) << failureContext(*crashed);
    ASSERT_TRUE(waitForBadge(russian, {english}, 10)) << failureContext(*crashed);
    crashed->signal(SIGKILL);
    ASSERT_EQ(crashed->wait(10), 128 + SIGKILL);

    session.lockGroup(0);
    auto restarted = session.launch();
    ASSERT_TRUE(session.waitForLog("Tarnwick launch.")) << failureContext(*restarted);
    EXPECT_TRUE(waitForBadge(english, {russian}, 10)) << failureContext(*restarted);
    std::string log = session.log();
    auto reset = log.find("Startup hard reset before controller init: true");
    auto firstApply = log.find("Applying cursor");
    EXPECT_NE(reset, std::string::npos) << log;
    EXPECT_LT(reset, firstApply) << log;

    restarted->signal(SIGTERM);
    ASSERT_EQ(restarted->wait(10), 0) << restarted->standardError();
    EXPECT_TRUE(session.showsThemeArrow()) << describe(session.live());
}
