#include "ProgramOnXServer.h"

#include "support/dbus/TestStatusNotifierWatcher.h"

#include <algorithm>
#include <csignal>
#include <tuple>

namespace {

using Watcher = TestStatusNotifierWatcher;

constexpr int badgePixels = 20;
const std::string firstStartSummary = "Tarnwick shows your keyboard language on the pointer";

bool showsBadge(ProgramOnXServer& session, const std::string& language)
{
    return opaquePixelsNear(session.live(), letterBadgeFill(language)) >= badgePixels;
}

bool showsEnglishBadge(ProgramOnXServer& session)
{
    return showsBadge(session, "en");
}

// Runs a verb and gives its exit status, its output and its errors.
std::tuple<std::optional<int>, std::string, std::string> run(ProgramOnXServer& session,
                                                             const std::vector<std::string>& arguments)
{
    auto verb = session.command(arguments);
    return {verb->wait(0), verb->standardOutput(), verb->standardError()};
}

std::size_t firstStartNotices(const Watcher& notifications)
{
    auto all = notifications.notifications();
    return std::count_if(all.begin(), all.end(), [](const auto& shown) { return shown.summary == firstStartSummary; });
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

TEST(TrayProgramTest, WithoutATrayHostTheVerbsReachEveryMenuActionOverTheSessionBus)
{
    ProgramOnXServer session;
    ASSERT_TRUE(session.ready());
    Watcher notifications(session.busAddress(), Watcher::Role::notificationsOnly);
    ASSERT_TRUE(notifications.isRunning());
    ChildProcess monitor({"/usr/bin/dbus-monitor", "--address", session.busAddress(),
                          "type='signal',member='PropertiesChanged',path='/com/tarnwick/app'"});
    auto program = session.launch();
    ASSERT_TRUE(waitUntil(10, [&] { return showsEnglishBadge(session); })) << session.log();
    ASSERT_TRUE(notifications.waitForNotifications(1, 5)) << session.log();
    EXPECT_EQ(notifications.notifications()[0].summary, firstStartSummary);
    EXPECT_NE(notifications.notifications()[0].body.find("No system tray was found"), std::string::npos);

    EXPECT_EQ(run(session, {"--status"}),
              std::make_tuple(std::optional(0), std::string("language: en\tEn\tEnglish (US)\txkb:us\nstyle: "
                                                            "letterBadge\nleft-handed: on\n"),
                              std::string()));
    session.lockGroup(1);
    EXPECT_TRUE(waitUntil(5, [&] { return std::get<1>(run(session, {"--status"})).starts_with("language: ru\t"); }));

    auto [badStatus, badOutput, badError] = run(session, {"--style", "bogus"});
    EXPECT_EQ(badStatus, 1);
    EXPECT_NE(badError.find("Unknown style \"bogus\"; the styles are system, letterBadge"), std::string::npos);
    ChildProcess wrongType({"/usr/bin/dbus-send", "--print-reply", "--dest=com.tarnwick.app", "/com/tarnwick/app",
                            "com.tarnwick.app.SetLeftHanded", "string:off"},
                           {{"DBUS_SESSION_BUS_ADDRESS", session.busAddress()}});
    EXPECT_NE(wrongType.wait(10), 0);
    EXPECT_NE(wrongType.standardError().find("InvalidArgs: SetLeftHanded takes one boolean"), std::string::npos);
    EXPECT_TRUE(std::get<1>(run(session, {"--status"})).ends_with("style: letterBadge\nleft-handed: on\n"));

    EXPECT_EQ(std::get<0>(run(session, {"--left-handed", "off"})), 0);
    EXPECT_EQ(std::get<0>(run(session, {"--style", "system"})), 0);
    EXPECT_TRUE(waitUntil(5, [&] { return session.showsThemeArrow(); })) << session.log();
    EXPECT_EQ(std::get<0>(run(session, {"--style", "letterBadge"})), 0);
    EXPECT_TRUE(waitUntil(5, [&] { return showsBadge(session, "ru"); })) << session.log();
    EXPECT_EQ(std::get<0>(run(session, {"--restore"})), 0);
    EXPECT_TRUE(waitUntil(5, [&] { return session.showsThemeArrow(); })) << session.log();
    EXPECT_EQ(std::get<0>(run(session, {"--reapply"})), 0);
    EXPECT_TRUE(waitUntil(5, [&] { return showsBadge(session, "ru"); })) << session.log();
    EXPECT_EQ(std::get<0>(run(session, {"--check-for-updates"})), 0);
    // The answer reaches the user although no tray shows it.
    EXPECT_TRUE(notifications.waitForNotifications(2, 5)) << session.log();
    EXPECT_TRUE(inOrder(session.log(), {"Left-handed mode toggled: false", "Style changed globally: style=system",
                                        "Style changed globally: style=letterBadge",
                                        "Restore OS cursor requested from tray menu result=true",
                                        "Manual reapply requested from tray menu", "Updates are not configured"}))
        << session.log();
    EXPECT_TRUE(inOrder(monitor.standardOutput(), {"\"LeftHanded\"", "boolean false", "\"Style\"", "\"system\""}))
        << monitor.standardOutput();

    auto [secondStatus, secondOutput, secondError] = run(session, {});
    EXPECT_EQ(secondStatus, 0);
    EXPECT_EQ(secondError, "tarnwick: Tarnwick is already running\n");

    EXPECT_EQ(std::get<0>(run(session, {"--quit"})), 0);
    EXPECT_EQ(program->wait(5), 0);
    EXPECT_TRUE(session.showsThemeArrow());
    EXPECT_EQ(run(session, {"--status"}),
              std::make_tuple(std::optional(1), std::string(), std::string("tarnwick: Tarnwick is not running\n")));

    // The notice is the home's first start's alone.
    program = session.launch();
    EXPECT_TRUE(waitUntil(10, [&] { return showsBadge(session, "ru"); })) << session.log();
    EXPECT_EQ(std::get<0>(run(session, {"--quit"})), 0);
    EXPECT_FALSE(notifications.waitForNotifications(3, 1));
    EXPECT_EQ(firstStartNotices(notifications), 1u);
}
