#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"
#include "support/dbus/PrivateSessionBus.h"
#include "support/dbus/TestStatusNotifierWatcher.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using Watcher = TestStatusNotifierWatcher;

class RealTrayTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> startFixture()
    {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{TARNWICK_TRAY_FIXTURE, logPath},
            std::map<std::string, std::string>{{"DISPLAY", display.display()},
                                               {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                               {"QT_QPA_PLATFORM", "xcb"},
                                               {"HOME", home.path()}});
    }

    bool printed(const ChildProcess& child, const std::string& line)
    {
        return waitUntil(10, [&] { return child.standardOutput().find(line + "\n") != std::string::npos; });
    }

    TempHome home;
    std::string logPath = home.path() + "/fixture.log";
    XvfbServer display;
    PrivateSessionBus bus;
};

int channel(std::uint32_t argb, int shift)
{
    return int((argb >> shift) & 0xff);
}

}

TEST_F(RealTrayTest, TheItemRegistersAndItsMenuIsListedAndClickedThroughTheBus)
{
    ASSERT_TRUE(display.running());
    ASSERT_TRUE(bus.running());
    Watcher watcher(bus.address());
    ASSERT_TRUE(watcher.isRunning());
    auto child = startFixture();

    std::optional<Watcher::Item> item = watcher.waitForItem(20);
    ASSERT_TRUE(item) << child->standardError();
    ASSERT_TRUE(printed(*child, "in tray")) << child->standardOutput();

    std::optional<Watcher::MenuEntry> menu = watcher.menu(*item);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->childLabels(), (std::vector<std::string>{"Cursor style", "Left-handed cursor", "-",
                                                             "Reapply for current language", "Check for Updates...",
                                                             "-", "Quit"}));
    EXPECT_EQ(menu->find("Reapply for current language")->shortcut, "Control+R");
    EXPECT_EQ(menu->find("Quit")->shortcut, "Control+Q");
    EXPECT_EQ(menu->find("Left-handed cursor")->toggleType, "checkmark");
    EXPECT_EQ(menu->find("Left-handed cursor")->toggleState, 0);
    EXPECT_EQ(menu->find("Reapply for current language")->toggleType, "");
    EXPECT_EQ(menu->find("Cursor style")->childLabels(), (std::vector<std::string>{"System cursor", "Letter badge"}));
    EXPECT_EQ(menu->find("Letter badge")->toggleState, 1);
    EXPECT_EQ(menu->find("System cursor")->toggleState, 0);

    EXPECT_EQ(watcher.toolTipTitle(*item), "TW [En]");
    std::vector<Watcher::Icon> icons = watcher.iconPixmaps(*item);
    ASSERT_FALSE(icons.empty());
    for (const Watcher::Icon& icon : icons) {
        // The badge's blue fill, above its letters.
        std::uint32_t fill = icon.pixel(icon.width / 2, icon.height / 6);
        EXPECT_EQ(channel(fill, 24), 255) << icon.width;
        EXPECT_LT(channel(fill, 16), 20) << icon.width;
        EXPECT_GT(channel(fill, 0), 230) << icon.width;
        EXPECT_EQ(channel(icon.pixel(0, 0), 24), 0) << icon.width;
    }

    ASSERT_TRUE(watcher.click(*item, "Left-handed cursor"));
    EXPECT_TRUE(printed(*child, "left-handed on"));
    EXPECT_TRUE(waitUntil(10, [&] {
        auto now = watcher.menu(*item);
        return now && now->find("Left-handed cursor")->toggleState == 1;
    }));

    ASSERT_TRUE(watcher.click(*item, "System cursor"));
    EXPECT_TRUE(printed(*child, "style system"));
    EXPECT_TRUE(waitUntil(10, [&] {
        auto now = watcher.menu(*item);
        return now && now->find("System cursor") && now->find("System cursor")->toggleState == 1 &&
               now->find("Letter badge")->toggleState == 0;
    }));

    ASSERT_TRUE(watcher.click(*item, "Check for Updates..."));
    ASSERT_TRUE(watcher.waitForNotifications(1, 10));
    EXPECT_EQ(watcher.notifications()[0].summary, "Tarnwick");
    EXPECT_EQ(watcher.notifications()[0].body, "Tarnwick 0.2 is available\nhttps://example.org/0.2");

    ASSERT_TRUE(watcher.click(*item, "Quit"));
    EXPECT_EQ(child->wait(10), 0);
    EXPECT_NE(child->standardOutput().find("quit\n"), std::string::npos);
}

TEST_F(RealTrayTest, WithoutATrayHostTheProgramWarnsOnceAndKeepsRunning)
{
    ASSERT_TRUE(display.running());
    ASSERT_TRUE(bus.running());
    auto child = startFixture();
    ASSERT_TRUE(printed(*child, "no tray")) << child->standardError();
    EXPECT_FALSE(child->wait(0.5));
    child->signal(SIGTERM);
    child->wait(10);
    std::string log = TempHome::readFile(logPath);
    std::string warning = "[WARN] Status item not shown: no system tray is available";
    ASSERT_NE(log.find(warning), std::string::npos) << log;
    EXPECT_EQ(log.find(warning), log.rfind(warning));
}

// A panel that crashes or restarts brings up a new tray host; the item has to
// find it again by itself, menu included.
TEST_F(RealTrayTest, AfterTheTrayHostRestartsTheItemIsBackWithAWorkingMenu)
{
    ASSERT_TRUE(display.running());
    ASSERT_TRUE(bus.running());
    auto first = std::make_unique<Watcher>(bus.address());
    auto child = startFixture();
    ASSERT_TRUE(first->waitForItem(20)) << child->standardError();
    ASSERT_TRUE(printed(*child, "in tray")) << child->standardOutput();
    first.reset();

    Watcher restarted(bus.address());
    ASSERT_TRUE(restarted.isRunning());
    std::optional<Watcher::Item> item = restarted.waitForItem(2);
    ASSERT_TRUE(item) << "the item did not come back within 2 s\n" << child->standardError();
    ASSERT_TRUE(restarted.click(*item, "Left-handed cursor"));
    EXPECT_TRUE(printed(*child, "left-handed on"));
    EXPECT_FALSE(child->wait(0.1).has_value());
    child->signal(SIGTERM);
    child->wait(10);
}
