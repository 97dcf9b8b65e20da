#include "platform/input/EnsureQtApplication.h"
#include "platform/input/IbusAddress.h"
#include "platform/input/IbusWatcher.h"
#include "platform/input/InputMethodInputSourceService.h"
#include "platform/input/InputMethodLanguages.h"
#include "platform/input/XkbInputSourceService.h"

#include "TestKeyboard.h"
#include "base/AppLog.h"
#include "language/LanguageDetector.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"
#include "support/dbus/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

using Languages = std::vector<std::string>;

TEST(InputMethodLanguagesTest, TwoLetterBasesKeepTheirRegionAndNamelessEnginesHaveNone)
{
    EXPECT_EQ(InputMethodLanguages::fromTag("vi"), Languages{"vi"});
    EXPECT_EQ(InputMethodLanguages::fromTag("rus"), Languages{"ru"});
    EXPECT_EQ(InputMethodLanguages::fromTag("zh_TW"), Languages{"zh-TW"});
    EXPECT_EQ(InputMethodLanguages::fromTag("yue"), Languages{"yue"});
    EXPECT_FALSE(InputMethodLanguages::fromTag("other"));
    EXPECT_FALSE(InputMethodLanguages::fromTag(""));
    EXPECT_FALSE(InputMethodLanguages::fromTag("x1"));
}

TEST(IbusAddressTest, FileNamedAfterMachineHostAndDisplayNumber)
{
    EXPECT_EQ(IbusAddress::fileName("abc", ":1"), "abc-unix-1");
    EXPECT_EQ(IbusAddress::fileName("abc", ":0.0"), "abc-unix-0");
    EXPECT_EQ(IbusAddress::fileName("abc", "remote:10.0"), "abc-remote-10");
    EXPECT_EQ(IbusAddress::fromFileContents("# comment\nIBUS_ADDRESS=unix:abstract=/x,guid=1\nIBUS_DAEMON_PID=5\n"),
              "unix:abstract=/x,guid=1");
    EXPECT_FALSE(IbusAddress::fromFileContents("IBUS_DAEMON_PID=5\n"));
}

// A real ibus-daemon with Debian's engines, on a private session bus and a
// private X server whose keymap is us.
class IbusInputSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new XvfbServer();
        bus = new PrivateSessionBus();
        setenv("DISPLAY", server->display().c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus->address().c_str(), 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        unsetenv("IBUS_ADDRESS");
        ensureQtApplication();
    }
    static void TearDownTestSuite()
    {
        delete bus;
        delete server;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->running() && bus->running());
        RunLoop::setMain(&loop);
        AppLog::testing::reset(home.path() + "/Tarnwick.log");
        ASSERT_TRUE(TestKeyboard(server->display()).setLayouts("us"));
        startDaemon();
        service = std::make_unique<InputMethodInputSourceService>(std::make_unique<IbusWatcher>(),
                                                                  std::make_unique<XkbInputSourceService>(), 5.0);
        observation = service->observeSelectedSourceChanged([this] { ++changes; });
    }
    void TearDown() override
    {
        service.reset();
        stopDaemon();
        RunLoop::setMain(nullptr);
    }
    void startDaemon()
    {
        daemon = std::make_unique<ChildProcess>(std::vector<std::string>{
            "/usr/bin/ibus-daemon", "--panel=disable", "--xim=false", "--emoji-extension=disable"});
        ASSERT_TRUE(waitUntil(10.0, [] { return IbusAddress::find().has_value() && selectEngine("xkb:us::eng"); }));
    }
    void stopDaemon()
    {
        daemon->signal(SIGKILL);
        daemon->wait(5.0);
        // A stale address file must not pass for the next daemon's.
        std::filesystem::remove_all(home.configHome() + "/ibus/bus");
    }
    // As a panel does; the ibus tool would also run setxkbmap, which the
    // private server refuses.
    static bool selectEngine(const std::string& name)
    {
        std::optional<std::string> address = IbusAddress::find();
        if (!address)
            return false;
        QDBusConnection connection = QDBusConnection::connectToBus(QString::fromStdString(*address), "test-panel");
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.IBus", "/org/freedesktop/IBus",
                                                           "org.freedesktop.IBus", "SetGlobalEngine");
        call << QString::fromStdString(name);
        bool selected = connection.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage;
        QDBusConnection::disconnectFromBus("test-panel");
        return selected;
    }
    bool detectsWithin(double seconds, const std::string& code)
    {
        return waitUntil(seconds, [&] {
            loop.runPending();
            return LanguageDetector(*service).detect().language.code() == code;
        });
    }

    static XvfbServer* server;
    static PrivateSessionBus* bus;
    TempHome home;
    ManualRunLoop loop;
    std::unique_ptr<ChildProcess> daemon;
    std::unique_ptr<InputMethodInputSourceService> service;
    std::shared_ptr<RunLoop::Handle> observation;
    int changes = 0;
};

XvfbServer* IbusInputSourceTest::server = nullptr;
PrivateSessionBus* IbusInputSourceTest::bus = nullptr;

TEST_F(IbusInputSourceTest, EnginesReadTheirLanguageAndAnnounceEachChange)
{
    ASSERT_TRUE(selectEngine("Unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));
    InputLanguage unikey = LanguageDetector(*service).detect().language;
    EXPECT_EQ(unikey.sourceID(), "ibus:Unikey");
    EXPECT_EQ(unikey.displayName(), "Unikey");
    int changesBefore = changes;
    EXPECT_GE(changesBefore, 1);

    ASSERT_TRUE(selectEngine("xkb:ru::rus"));
    ASSERT_TRUE(detectsWithin(5.0, "ru"));
    EXPECT_EQ(LanguageDetector(*service).detect().language.sourceID(), "ibus:xkb:ru::rus");
    EXPECT_GT(changes, changesBefore);
}

TEST_F(IbusInputSourceTest, FollowsTheKeymapWhileTheDaemonIsAwayAndReturnsToItsEngine)
{
    ASSERT_TRUE(selectEngine("Unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));

    stopDaemon();
    ASSERT_TRUE(detectsWithin(5.0, "en"));
    EXPECT_EQ(LanguageDetector(*service).detect().language.sourceID(), "xkb:us");

    startDaemon();
    ASSERT_TRUE(selectEngine("Unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));
    AppLog::flush();
    std::string log = TempHome::readFile(home.path() + "/Tarnwick.log");
    EXPECT_NE(log.find("Input sources: IBus stopped answering; following the XKB keymap"), std::string::npos);
    EXPECT_NE(log.find("Input sources: IBus answers again; following its input method"), std::string::npos);
}

}
