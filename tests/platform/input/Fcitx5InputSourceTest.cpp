#include "platform/input/EnsureQtApplication.h"
#include "platform/input/Fcitx5Watcher.h"
#include "platform/input/InputMethodInputSourceService.h"
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
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

// A client hint, (ss), for a new input context.
struct Hint {
    QString name, value;
};
using Hints = QList<Hint>;
Q_DECLARE_METATYPE(Hint)

QDBusArgument& operator<<(QDBusArgument& argument, const Hint& hint)
{
    argument.beginStructure();
    argument << hint.name << hint.value;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Hint& hint)
{
    argument.beginStructure();
    argument >> hint.name >> hint.value;
    argument.endStructure();
    return argument;
}

namespace {

const char* const profile = R"([Groups/0]
Name=Default
Default Layout=us
DefaultIM=keyboard-us

[Groups/0/Items/0]
Name=keyboard-us

[Groups/0/Items/1]
Name=keyboard-ru

[Groups/0/Items/2]
Name=unikey

[GroupOrder]
0=Default
)";

QDBusMessage callFcitx(const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.fcitx.Fcitx5", path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
}

// A real fcitx5 with Debian's keyboard input methods and Unikey, on a private
// session bus and a private X server whose keymap is us. The test is the
// focused client: it makes an input context through Fcitx 5's own D-Bus
// frontend, as toolkits do, and keeps it focused.
class Fcitx5InputSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new XvfbServer();
        bus = new PrivateSessionBus();
        setenv("DISPLAY", server->display().c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus->address().c_str(), 1);
        ensureQtApplication();
        qDBusRegisterMetaType<Hint>();
        qDBusRegisterMetaType<Hints>();
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
        TempHome::writeFile(home.configHome() + "/fcitx5/profile", profile);
        startDaemon();
        service = std::make_unique<InputMethodInputSourceService>(std::make_unique<Fcitx5Watcher>(),
                                                                  std::make_unique<XkbInputSourceService>(), 5.0);
    }
    void TearDown() override
    {
        service.reset();
        stopDaemon();
        RunLoop::setMain(nullptr);
    }
    void startDaemon()
    {
        daemon = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/fcitx5", "--disable=wayland"});
        ASSERT_TRUE(waitUntil(10.0, [] {
            return callFcitx("/controller", "org.fcitx.Fcitx.Controller1", "CurrentInputMethod").type() ==
                   QDBusMessage::ReplyMessage;
        }));
        QDBusMessage created = callFcitx("/org/freedesktop/portal/inputmethod", "org.fcitx.Fcitx.InputMethod1",
                                         "CreateInputContext", {QVariant::fromValue(Hints{{"program", "test"}})});
        ASSERT_EQ(created.type(), QDBusMessage::ReplyMessage) << created.errorMessage().toStdString();
        QString context = created.arguments().first().value<QDBusObjectPath>().path();
        callFcitx(context, "org.fcitx.Fcitx.InputContext1", "FocusIn");
    }
    void stopDaemon()
    {
        daemon->signal(SIGKILL);
        daemon->wait(5.0);
    }
    static bool select(const QString& inputMethod)
    {
        return callFcitx("/controller", "org.fcitx.Fcitx.Controller1", "SetCurrentIM", {inputMethod}).type() ==
               QDBusMessage::ReplyMessage;
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
};

XvfbServer* Fcitx5InputSourceTest::server = nullptr;
PrivateSessionBus* Fcitx5InputSourceTest::bus = nullptr;

TEST_F(Fcitx5InputSourceTest, InputMethodsOfTheFocusedContextReadTheirLanguage)
{
    ASSERT_TRUE(select("unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));
    InputLanguage unikey = LanguageDetector(*service).detect().language;
    EXPECT_EQ(unikey.sourceID(), "fcitx5:unikey");
    EXPECT_EQ(unikey.displayName(), "Unikey");

    ASSERT_TRUE(select("keyboard-ru"));
    ASSERT_TRUE(detectsWithin(5.0, "ru"));
    EXPECT_EQ(LanguageDetector(*service).detect().language.sourceID(), "fcitx5:keyboard-ru");
}

TEST_F(Fcitx5InputSourceTest, FollowsTheKeymapWhileTheDaemonIsAwayAndReturnsToItsInputMethod)
{
    ASSERT_TRUE(select("unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));

    stopDaemon();
    ASSERT_TRUE(detectsWithin(5.0, "en"));
    EXPECT_EQ(LanguageDetector(*service).detect().language.sourceID(), "xkb:us");

    startDaemon();
    ASSERT_TRUE(select("unikey"));
    ASSERT_TRUE(detectsWithin(5.0, "vi"));
    AppLog::flush();
    std::string log = TempHome::readFile(home.path() + "/Tarnwick.log");
    EXPECT_NE(log.find("Input sources: Fcitx 5 stopped answering; following the XKB keymap"), std::string::npos);
    EXPECT_NE(log.find("Input sources: Fcitx 5 answers again; following its input method"), std::string::npos);
}

// Fcitx 5 also owns the IBus name on the session bus; the automatic choice
// must not take it for IBus.
TEST_F(Fcitx5InputSourceTest, AutomaticChoiceTakesFcitx5EvenUnderTheIbusName)
{
    setenv("TARNWICK_INPUT_SOURCE", "auto", 1);
    std::unique_ptr<InputSourceService> chosen = InputSourceService::fromEnvironment();
    unsetenv("TARNWICK_INPUT_SOURCE");
    ASSERT_TRUE(select("keyboard-ru"));
    EXPECT_TRUE(waitUntil(5.0, [&] { return LanguageDetector(*chosen).detect().language.sourceID() == "fcitx5:keyboard-ru"; }));
}

}
