#include "ProgramOnXServer.h"

#include "support/dbus/TestStatusNotifierWatcher.h"

#include <csignal>

namespace {

using Watcher = TestStatusNotifierWatcher;

constexpr int badgePixels = 20;

bool showsEnglishBadge(ProgramOnXServer& session)
{
    return opaquePixelsNear(session.live(), letterBadgeFill("en")) >= badgePixels;
}

}

TEST(TrayProgramTest, TheItemListsTheMenuInOrderAndItsEntriesRestoreReapplyAndQuit)
{
    ProgramOnXServer session;
    ASSERT_TRUE(session.ready());
    // The panel is there before the program, as on a desktop.
    Watcher watcher(session.busAddress());
    ASSERT_TRUE(watcher.isRunning());
    auto program = session.launch();

    std::optional<Watcher::Item> item = watcher.waitForItem(30);
    ASSERT_TRUE(item) << session.log() << program->standardError();
    ASSERT_TRUE(waitUntil(10, [&] { return showsEnglishBadge(session); })) << session.log();
    EXPECT_TRUE(waitUntil(5, [&] { return watcher.toolTipTitle(*item) == "TW [En]"; }))
        << watcher.toolTipTitle(*item).value_or("no tooltip");

    std::optional<Watcher::MenuEntry> menu = watcher.menu(*item);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->childLabels(),
              (std::vector<std::string>{"Cursor style", "Left-handed cursor", "-", "Reapply for current language",
                                        "Restore OS cursor", "-", "Check for Updates...", "Launch at Login", "-",
                                        "Quit"}));
    ASSERT_NE(menu->find("Cursor style"), nullptr);
    EXPECT_EQ(menu->find("Cursor style")->childLabels(),
              (std::vector<std::string>{"System cursor", "Letter badge", "Color dot", "High contrast"}));
    ASSERT_NE(menu->find("Letter badge"), nullptr);
    EXPECT_EQ(menu->find("Letter badge")->toggleState, 1);
    // Left-handed is what a fresh installation starts with.
    EXPECT_EQ(menu->find("Left-handed cursor")->toggleState, 1);
    EXPECT_EQ(menu->find("Launch at Login")->toggleState, 0);
    EXPECT_EQ(menu->find("Quit")->shortcut, "Control+Q");

    ASSERT_TRUE(watcher.click(*item, "Restore OS cursor"));
    EXPECT_TRUE(waitUntil(5, [&] { return session.showsThemeArrow(); })) << session.log();
    EXPECT_TRUE(session.waitForLog("Restore OS cursor requested from tray menu result=true", 5))
        << session.log();
    // The language has not changed, so the next polls leave the arrow alone.
    EXPECT_FALSE(waitUntil(1, [&] { return !session.showsThemeArrow(); })) << session.log();

    ASSERT_TRUE(watcher.click(*item, "Reapply for current language"));
    EXPECT_TRUE(waitUntil(5, [&] { return showsEnglishBadge(session); })) << session.log();
    EXPECT_TRUE(session.waitForLog("Apply requested trigger=manual force=true", 5))
        << session.log();

    ASSERT_TRUE(watcher.click(*item, "Quit"));
    ASSERT_EQ(program->wait(10), 0) << program->standardError();
    std::string log = session.log();
    EXPECT_TRUE(inOrder(log, {"[INFO] Tarnwick terminating; restoring original cursors\n",
                              "restoreOriginal completed. resetOK=true", "[INFO] Termination restoreOriginal: true\n"}))
        << log;
    EXPECT_TRUE(session.showsThemeArrow());
}
