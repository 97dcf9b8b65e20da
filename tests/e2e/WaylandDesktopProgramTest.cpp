// GoogleTest before the X headers, which define None, Bool and Status.
#include "ProgramOnXServer.h"

#include "platform/compositor/SwayIpc.h"
#include "platform/desktopsettings/KConfigFile.h"
#include "support/wayland/KwinSession.h"
#include "support/wayland/SwaySession.h"

#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int badgePixels = 20;
constexpr int restX = 300, restY = 400;

std::uint32_t fill(const std::string& language)
{
    Rgb colour = letterBadgeFill(language);
    return std::uint32_t(colour.red) << 16 | std::uint32_t(colour.green) << 8 | std::uint32_t(colour.blue);
}

// Seconds until the pointer shows the language's badge. look() runs before
// each capture (sway 1.7 takes a theme for its pointer only as a pointer is
// plugged in).
std::optional<double> waitForBadge(WaylandSession& session, const std::string& language, double seconds,
                                   const std::function<void()>& look = [] {})
{
    auto start = Clock::now();
    if (!waitUntil(seconds, [&] { return look(), session.pointerPixelsNear(fill(language)) >= badgePixels; }))
        return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void report(const std::string& what, std::vector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    if (seconds.empty())
        return;
    std::cout << "[ FIGURES  ] " << what << ": median " << seconds[seconds.size() / 2] * 1000 << " ms, worst "
              << seconds.back() * 1000 << " ms of " << seconds.size() << "\n";
}

// The real GTK 3 and Qt 6 programs a desktop runs beside the program, up
// before the pointer comes to rest.
std::vector<std::unique_ptr<ChildProcess>> startApplications(WaylandSession& session)
{
    std::vector<std::unique_ptr<ChildProcess>> applications;
    applications.push_back(session.run({"/usr/bin/gtk3-widget-factory"}, {{"GDK_BACKEND", "wayland"}}));
    applications.push_back(session.run({"/usr/lib/qt6/bin/designer"}, {{"QT_QPA_PLATFORM", "wayland"}}));
    EXPECT_TRUE(session.waitForWindow("gtk3-widget-factory") && session.waitForWindow("designer"));
    return applications;
}

bool setKdeLayout(WaylandSession& session, unsigned index)
{
    GVariant* reply = g_dbus_connection_call_sync(session.bus(), "org.kde.keyboard", "/Layouts",
                                                  "org.kde.KeyboardLayouts", "setLayout", g_variant_new("(u)", index),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
                                                  nullptr);
    gboolean switched = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &switched);
        g_variant_unref(reply);
    }
    return switched;
}

}

TEST(WaylandDesktopProgramTest, KWinsOwnPointerFollowsEveryLayoutAndKcminputrcIsTheUsersAgainAfterQuitAndCrash)
{
    KwinSession kwin("us,ru,de");
    ASSERT_TRUE(kwin.ready());
    std::string kcminputrc = kwin.configHome() + "/kcminputrc";
    const std::string users = "# as KDE's settings left it\n[Keyboard]\nRepeatDelay=600\n\n[Mouse]\ncursorSize=24\n"
                              "cursorTheme=DMZ-White\n\n[Mouse][Sub]\ncursorTheme=other\n";
    auto applications = startApplications(kwin);
    ASSERT_TRUE(kwin.restPointer(restX, restY));
    kwin.writeFile(kcminputrc, users);
    TarnwickProgram tarnwick;
    auto program = kwin.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Input sources: using kde (TARNWICK_INPUT_SOURCE=auto; ")) << tarnwick.log();
    ASSERT_TRUE(waitForBadge(kwin, "en", 15)) << tarnwick.log();
    std::string theme = KConfigFile(kcminputrc).read("Mouse", "cursorTheme").value_or("");
    std::string index = TempHome::readFile(kwin.home() + "/.local/share/icons/" + theme + "/index.theme");
    EXPECT_NE(index.find("\nInherits=DMZ-White\n"), std::string::npos) << index;

    std::vector<double> switches;
    for (unsigned i = 1; i <= 10; ++i) {
        auto start = Clock::now();
        ASSERT_TRUE(setKdeLayout(kwin, i % 2));
        auto shown = waitForBadge(kwin, i % 2 ? "ru" : "en", 1.0);
        EXPECT_TRUE(shown) << "switch " << i << "\n" << tarnwick.log();
        switches.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    report("KWin: setLayout to the badge on KWin's pointer", switches);
    auto detect = kwin.launch(tarnwick, {"--detect"});
    detect->wait(10);
    EXPECT_EQ(detect->standardOutput(), "en\tEn\tEnglish (US)\txkb:us\n");

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(TempHome::readFile(kcminputrc), users) << "every other line as it was";
    EXPECT_TRUE(waitUntil(2, [&] { return kwin.pointerPixelsNear(fill("en")) == 0; }));

    program = kwin.launch(tarnwick);
    ASSERT_TRUE(waitForBadge(kwin, "en", 15)) << tarnwick.log();
    program->signal(SIGKILL);
    program->wait(10);
    program = kwin.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(TempHome::readFile(kcminputrc), users) << "after kill -9 and a new start";
}

TEST(WaylandDesktopProgramTest, SwayHoldsEveryLayoutsThemeForItsPointerAndTheUsersAgainAfterQuitAndCrash)
{
    SwaySession sway("us,ru,de");
    ASSERT_TRUE(sway.ready());
    auto applications = startApplications(sway);
    ASSERT_TRUE(sway.restPointer(restX, restY));
    auto plugged = [&] { sway.input().replug(); };
    TarnwickProgram tarnwick;
    auto program = sway.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Input sources: using sway (TARNWICK_INPUT_SOURCE=auto; ")) << tarnwick.log();
    ASSERT_TRUE(waitForBadge(sway, "en", 15, plugged)) << tarnwick.log();

    std::vector<double> switches;
    const char* languages[] = {"en", "ru", "de"};
    for (int i = 1; i <= 10; ++i) {
        auto start = Clock::now();
        ASSERT_TRUE(SwayIpc(sway.socket()).command("input type:keyboard xkb_switch_layout next"));
        EXPECT_TRUE(waitForBadge(sway, languages[i % 3], 1.0, plugged)) << "switch " << i << "\n" << tarnwick.log();
        switches.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    report("sway: xkb_switch_layout to the badge on sway's pointer plugged in anew", switches);
    std::string gtkSettings = sway.configHome() + "/glib-2.0/settings/keyfile";
    EXPECT_NE(TempHome::readFile(gtkSettings).find("cursor-theme='Tarnwick-ru-"), std::string::npos);
    auto detect = sway.launch(tarnwick, {"--detect"});
    detect->wait(10);
    EXPECT_EQ(detect->standardOutput(), "ru\tРу\tRussian\txkb:ru\n");

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_TRUE(waitUntil(2, [&] { return plugged(), sway.pointerPixelsNear(fill("ru")) == 0; }));
    EXPECT_NE(TempHome::readFile(gtkSettings).find("cursor-theme='DMZ-White'"), std::string::npos);

    program = sway.launch(tarnwick);
    ASSERT_TRUE(waitForBadge(sway, "ru", 15, plugged)) << tarnwick.log();
    program->signal(SIGKILL);
    program->wait(10);
    program = sway.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_TRUE(waitUntil(2, [&] { return plugged(), sway.pointerPixelsNear(fill("ru")) == 0; }))
        << "after kill -9 and a new start";
}
