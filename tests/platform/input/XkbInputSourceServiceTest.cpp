#include "platform/input/XkbInputSourceService.h"

#include "TestKeyboard.h"
#include "base/AppLog.h"
#include "language/LanguageDetector.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

namespace {

using Languages = std::vector<std::string>;

// One private X server for the suite; each test sets the keyboard it needs.
class XkbInputSourceServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new XvfbServer(); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->running());
        RunLoop::setMain(&loop);
        AppLog::testing::reset(home.path() + "/Tarnwick.log");
        keyboard = std::make_unique<TestKeyboard>(server->display());
        ASSERT_TRUE(keyboard->setLayouts("us,ru,de"));
        keyboard->lockGroup(0);
        service = std::make_unique<XkbInputSourceService>(server->display());
    }
    void TearDown() override
    {
        service.reset();
        RunLoop::setMain(nullptr);
    }
    // Runs the main loop until the condition holds: the X server is another
    // process, so its events take real time to arrive.
    bool runLoopUntil(const std::function<bool()>& condition)
    {
        return waitUntil(5.0, [&] {
            loop.runPending();
            return condition();
        });
    }
    InputLanguage detect() { return LanguageDetector(*service).detect().language; }

    static XvfbServer* server;
    TempHome home;
    ManualRunLoop loop;
    std::unique_ptr<TestKeyboard> keyboard;
    std::unique_ptr<XkbInputSourceService> service;
};

XvfbServer* XkbInputSourceServiceTest::server = nullptr;

// The keymap setxkbmap would make, with a layout of the user's own in group 1.
const std::string keymapWithOwnLayout = "xkb_keymap {\n"
                                        "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
                                        "  xkb_types { include \"complete\" };\n"
                                        "  xkb_compat { include \"complete\" };\n"
                                        "  xkb_symbols { include \"pc+tarnwick_nl+ru:2+inet(evdev)\" };\n"
                                        "};\n";
const std::string ownLayout = "default xkb_symbols \"basic\" {\n"
                              "  include \"us(basic)\"\n"
                              "  name[Group1] = \"Nederlands (test)\";\n"
                              "};\n";

}

TEST_F(XkbInputSourceServiceTest, EachGroupIsASourceNamedAfterItsLayoutWithTheLayoutsLanguages)
{
    auto english = service->currentKeyboardInputSource();
    ASSERT_TRUE(english);
    EXPECT_EQ(english->localizedName, "English (US)");
    EXPECT_EQ(english->identifier, "xkb:us");
    EXPECT_EQ(english->languages, Languages{"en"});

    keyboard->lockGroup(1);
    auto russian = service->currentKeyboardInputSource();
    ASSERT_TRUE(russian);
    EXPECT_EQ(russian->localizedName, "Russian");
    EXPECT_EQ(russian->identifier, "xkb:ru");
    EXPECT_EQ(russian->languages, Languages{"ru"});

    keyboard->lockGroup(2);
    EXPECT_EQ(detect(), InputLanguage("de", "DE", "German", "xkb:de"));
    keyboard->lockGroup(1);
    EXPECT_EQ(detect(), InputLanguage("ru", "\u0420\u0443", "Russian", "xkb:ru"));
    keyboard->lockGroup(0);
    EXPECT_EQ(detect(), InputLanguage("en", "En", "English (US)", "xkb:us"));
}

TEST_F(XkbInputSourceServiceTest, AGroupChangeReachesObserversOnTheMainLoopWithoutPolling)
{
    int calls = 0, cancelledCalls = 0;
    auto handle = service->observeSelectedSourceChanged([&] { ++calls; });
    auto cancelled = service->observeSelectedSourceChanged([&] { ++cancelledCalls; });
    cancelled->cancel();
    EXPECT_EQ(loop.scheduledCount(), 0u) << "no timer may stand behind the notification";

    keyboard->lockGroup(1);
    ASSERT_TRUE(runLoopUntil([&] { return calls > 0; }));
    EXPECT_EQ(detect().code(), "ru");
    EXPECT_EQ(cancelledCalls, 0);

    // Nothing changes, nothing is announced.
    int before = calls;
    loop.runPending();
    keyboard->lockGroup(1);
    loop.runPending();
    EXPECT_EQ(calls, before);

    handle->cancel();
    keyboard->lockGroup(2);
    service->currentKeyboardInputSource();
    loop.runPending();
    EXPECT_EQ(calls, before);
}

TEST_F(XkbInputSourceServiceTest, AChangeNoticedDuringAQueryIsStillAnnounced)
{
    int calls = 0;
    auto handle = service->observeSelectedSourceChanged([&] { ++calls; });
    keyboard->lockGroup(2);
    // The query reads the event off the connection before the loop's watch
    // can see it.
    EXPECT_EQ(service->currentKeyboardInputSource()->identifier, "xkb:de");
    EXPECT_EQ(calls, 0) << "observers are called from the loop, not from inside the query";
    loop.runPending();
    EXPECT_EQ(calls, 1);
}

TEST_F(XkbInputSourceServiceTest, ANewKeymapIsSeenOnTheNextQueryAndAnnounced)
{
    int calls = 0;
    auto handle = service->observeSelectedSourceChanged([&] { ++calls; });
    EXPECT_EQ(service->currentKeyboardInputSource()->identifier, "xkb:us");
    loop.runPending();
    calls = 0;

    ASSERT_TRUE(keyboard->setLayouts("fr,de(nodeadkeys)"));
    keyboard->lockGroup(1);
    auto source = service->currentKeyboardInputSource();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->identifier, "xkb:de(nodeadkeys)");
    EXPECT_EQ(source->localizedName, "German (no dead keys)");
    EXPECT_EQ(source->languages, Languages{"de"});
    ASSERT_TRUE(runLoopUntil([&] { return calls > 0; }));
}

TEST_F(XkbInputSourceServiceTest, LayoutsWithoutRegistryLanguagesFallBackToTheKeywordTable)
{
    ASSERT_TRUE(keyboard->setLayouts("brai"));
    auto braille = service->currentKeyboardInputSource();
    ASSERT_TRUE(braille);
    EXPECT_EQ(braille->languages, Languages{}) << "the registry knows the layout but names no language";
    EXPECT_EQ(detect(), InputLanguage("unknown", "??", "Braille", "xkb:brai"));

    ASSERT_TRUE(keyboard->loadKeymap(keymapWithOwnLayout, {{"tarnwick_nl", ownLayout}}));
    keyboard->lockGroup(0);
    auto custom = service->currentKeyboardInputSource();
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->identifier, "xkb:tarnwick_nl");
    EXPECT_EQ(custom->languages, std::nullopt) << "the registry does not know the layout";
    EXPECT_EQ(detect(), InputLanguage("nl", "NL", "Nederlands (test)", "xkb:tarnwick_nl"));
}

TEST(XkbInputSourceServiceWithoutServer, NoDisplayMeansNoSourceAndOneWarning)
{
    TempHome home;
    std::string log = home.path() + "/Tarnwick.log";
    AppLog::testing::reset(log);
    XkbInputSourceService service(":4093");
    EXPECT_EQ(service.currentKeyboardInputSource(), std::nullopt);
    EXPECT_EQ(service.currentKeyboardInputSource(), std::nullopt);
    AppLog::flush();
    std::string lines = TempHome::readFile(log);
    auto first = lines.find("cannot open the X display");
    EXPECT_NE(first, std::string::npos) << lines;
    EXPECT_EQ(lines.find("cannot open the X display", first + 1), std::string::npos) << lines;
}
