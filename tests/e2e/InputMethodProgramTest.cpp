// Qt before the X headers of the session, which define Bool and Status.
#include <QDBusConnection>

#include "ProgramOnXServer.h"

#include "platform/input/EnsureQtApplication.h"
#include "support/dbus/InputMethodClient.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int badgePixels = 20;

const char* const fcitxProfile = "[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=keyboard-us\n\n"
                                 "[Groups/0/Items/0]\nName=keyboard-us\n\n[Groups/0/Items/1]\nName=keyboard-ru\n\n"
                                 "[Groups/0/Items/2]\nName=unikey\n\n[GroupOrder]\n0=Default\n";

// The program with the automatic choice of input source, while the test
// plays the input method daemon's other clients: the panel that selects an
// engine (IBus) or the focused application that owns an input context
// (Fcitx 5). The daemons run on the session's private bus and X server.
class InputMethodProgramTest : public ::testing::Test {
protected:
    struct Daemon {
        std::vector<std::string> command;
        std::function<bool()> answers;
    };

    void SetUp() override
    {
        ASSERT_TRUE(session.ready());
        setenv("DISPLAY", session.display().c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", session.busAddress().c_str(), 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        unsetenv("IBUS_ADDRESS");
        ensureQtApplication();
        InputMethodClient::registerTypes();
    }
    void TearDown() override
    {
        stopDaemon();
        QDBusConnection::disconnectFromBus("test-client");
    }

    void startDaemon(const Daemon& daemon)
    {
        daemon_ = std::make_unique<ChildProcess>(daemon.command);
        ASSERT_TRUE(waitUntil(10.0, daemon.answers));
    }
    void stopDaemon()
    {
        if (!daemon_)
            return;
        daemon_->signal(SIGKILL);
        daemon_->wait(5.0);
        daemon_.reset();
        std::filesystem::remove_all(session.home().configHome() + "/ibus/bus");
    }

    QDBusConnection sessionClient()
    {
        return QDBusConnection::connectToBus(QString::fromStdString(session.busAddress()), "test-client");
    }

    Daemon ibus()
    {
        return {{"/usr/bin/ibus-daemon", "--panel=disable", "--xim=false", "--emoji-extension=disable"},
                [] { return InputMethodClient::selectIbusEngine("xkb:us::eng"); }};
    }
    Daemon fcitx5()
    {
        TempHome::writeFile(session.home().configHome() + "/fcitx5/profile", fcitxProfile);
        return {{"/usr/bin/fcitx5", "--disable=wayland"},
                [this] { return InputMethodClient::focusFcitxContext(sessionClient(), "test"); }};
    }
    bool selectFcitxInputMethod(const QString& name)
    {
        return InputMethodClient::selectFcitxInputMethod(sessionClient(), name);
    }
    // The seconds until the cursor on screen carries the language's badge
    // and no other of these, or nothing.
    std::optional<double> waitForBadge(const std::string& code, double seconds)
    {
        auto start = Clock::now();
        bool shown = waitUntil(seconds, [&] {
            ScreenCursor now = session.live();
            if (opaquePixelsNear(now, letterBadgeFill(code)) < badgePixels)
                return false;
            for (const char* other : {"vi", "ru", "en"})
                if (other != code && opaquePixelsNear(now, letterBadgeFill(other)) > 0)
                    return false;
            return true;
        });
        if (!shown)
            return std::nullopt;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }
    // The apply line that first shows the source, which tells what set it off.
    std::string applyLineFor(const std::string& sourceID) const
    {
        std::string log = session.log();
        std::size_t at = log.find("newSource=" + sourceID + " ");
        if (at == std::string::npos)
            return {};
        std::size_t start = log.rfind('\n', at) + 1;
        return log.substr(start, log.find('\n', at) - start);
    }

    // Unikey over a us keymap reads vi; the switch to the Russian input
    // method shows within 1 s, set off by the change notification; while the
    // daemon is away the keymap decides, and afterwards the input method
    // again.
    // Each log line is looked for as it comes: other tests' runs of the
    // program may take the log file over.
    void followsTheInputMethod(const Daemon& daemon, const std::function<bool(const QString&)>& select,
                               const std::string& choice, const std::string& framework, const QString& russian)
    {
        startDaemon(daemon);
        ASSERT_TRUE(select("unikey") || select("Unikey"));
        auto program = session.launch({{"TARNWICK_INPUT_SOURCE", "auto"}});
        EXPECT_TRUE(session.waitForLog("Input sources: using " + choice + " (TARNWICK_INPUT_SOURCE=auto; "));
        ASSERT_TRUE(session.waitForLog("Tarnwick launch.")) << session.log();
        ASSERT_TRUE(waitForBadge("vi", 10)) << session.log();
        // The switch is timed from an idle program, not from the tail of the
        // first apply.
        ASSERT_TRUE(session.waitForLog("Apply requested trigger=launch", 10));

        ASSERT_TRUE(select(russian));
        auto russianAfter = waitForBadge("ru", 5);
        ASSERT_TRUE(russianAfter) << session.log();
        EXPECT_LE(*russianAfter, 1.0) << session.log();
        // The screen may show the badge before the apply's line is written.
        std::string applied;
        waitUntil(5, [&] { return !(applied = applyLineFor(choice + ":" + russian.toStdString())).empty(); });
        EXPECT_NE(applied.find("trigger=input-source-notification"), std::string::npos) << session.log();

        stopDaemon();
        EXPECT_TRUE(waitForBadge("en", 5)) << session.log();
        EXPECT_TRUE(session.waitForLog("Input sources: " + framework +
                                                 " stopped answering; following the XKB keymap", 5));
        startDaemon(daemon);
        ASSERT_TRUE(select("unikey") || select("Unikey"));
        EXPECT_TRUE(waitForBadge("vi", 5)) << session.log();
        EXPECT_TRUE(session.waitForLog("Input sources: " + framework +
                                                 " answers again; following its input method", 5));

        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << program->standardError();
    }

    ProgramOnXServer session;
    std::unique_ptr<ChildProcess> daemon_;
};

TEST_F(InputMethodProgramTest, ThePointerFollowsTheIbusEngine)
{
    followsTheInputMethod(ibus(), InputMethodClient::selectIbusEngine, "ibus", "IBus", "xkb:ru::rus");
}

TEST_F(InputMethodProgramTest, ThePointerFollowsTheFcitx5InputMethodOfTheFocusedContext)
{
    followsTheInputMethod(
        fcitx5(), [this](const QString& name) { return selectFcitxInputMethod(name); }, "fcitx5", "Fcitx 5", "keyboard-ru");
}

// With the desktop's input method panel on the bus, Fcitx 5 announces its
// changes to it, and the program follows those, also across a restart.
TEST_F(InputMethodProgramTest, ThePointerFollowsFcitx5ThroughTheAnnouncementsToTheDesktopsPanel)
{
    ASSERT_TRUE(sessionClient().registerService("org.kde.impanel"));
    followsTheInputMethod(
        fcitx5(), [this](const QString& name) { return selectFcitxInputMethod(name); }, "fcitx5", "Fcitx 5", "keyboard-ru");
}

}
