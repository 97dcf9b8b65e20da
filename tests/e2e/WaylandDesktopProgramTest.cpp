// GoogleTest before the X headers, which define None, Bool and Status.
#include "ProgramOnXServer.h"

#include "platform/desktopsettings/KConfigFile.h"
#include "support/wayland/KwinSession.h"
#include "support/wayland/SwaySession.h"
#include "support/wayland/XProgram.h"

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

// What the resting pointer is over.
enum class Under { desktop, xProgram };

// Evidence of the language's badge on the resting pointer: its pixels in the
// compositor's capture; where there is none (KWin 6 painting without
// OpenGL), the theme the compositor has loaded, or over an X program
// XWayland's own cursor, which it hands the compositor.
int badgeSeen(WaylandSession& session, const std::string& language, Under under)
{
    if (session.capturesPointer())
        return session.pointerPixelsNear(fill(language));
    if (under == Under::xProgram)
        return session.xwaylandCursorPixelsNear(fill(language));
    return session.loadedTheme().starts_with("Tarnwick-" + language + "-") ? badgePixels : 0;
}

// Seconds until the pointer shows the language's badge. look() runs before
// each capture (sway 1.7 takes a theme for its pointer only as a pointer is
// plugged in).
std::optional<double> waitForBadge(WaylandSession& session, const std::string& language, double seconds,
                                   Under under = Under::desktop, const std::function<void()>& look = [] {})
{
    auto start = Clock::now();
    if (!waitUntil(seconds, [&] { return look(), badgeSeen(session, language, under) >= badgePixels; }))
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

// Switches the keyboard layout through the desktop; the language switched to.
using LayoutSwitch = std::function<std::string()>;

// Ten switches with the pointer resting, each shown on it (how fast is the
// benchmarks' to say; a loaded machine may take seconds); the language of the
// last.
std::string expectEverySwitchShown(WaylandSession& session, const LayoutSwitch& next, const std::string& where,
                                   const TarnwickProgram& tarnwick, Under under = Under::desktop,
                                   const std::function<void()>& look = [] {})
{
    std::vector<double> switches;
    std::string language;
    for (int i = 1; i <= 10; ++i) {
        auto start = Clock::now();
        language = next();
        EXPECT_TRUE(waitForBadge(session, language, 5, under, look))
            << where << ": switch " << i << " to " << language << "\n" << tarnwick.log();
        switches.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    report(where, switches);
    return language;
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

// The pointer rests over xterm, then over GTK 3 on XWayland, each in front
// when it is its turn; both stay open, GTK 3 in front. The GTK 3 widget
// factory is one application on the session bus: the one on Wayland goes
// first.
std::vector<std::unique_ptr<ChildProcess>> expectRestingPointersFollow(
    WaylandSession& session, std::vector<std::unique_ptr<ChildProcess>> applications, std::string& language,
    const LayoutSwitch& next, const TarnwickProgram& tarnwick, const std::string& desktop)
{
    applications.clear();
    EXPECT_TRUE(session.waitForWindow("gtk3-widget-factory", false));
    for (const XProgram* program : {&xterm, &gtk3OnX}) {
        applications.push_back(session.run(program->command, program->environment));
        EXPECT_TRUE(session.waitForWindow(program->windowName()));
        EXPECT_TRUE(session.restPointerOverXwayland(program->x, program->y)) << program->name;
        EXPECT_TRUE(waitForBadge(session, language, 5, Under::xProgram))
            << program->name << ": no badge\n" << tarnwick.log();
        language = expectEverySwitchShown(session, next, desktop + ": the pointer resting over " + program->name,
                                          tarnwick, Under::xProgram);
    }
    return applications;
}

}

TEST(WaylandDesktopProgramTest, KWinsPointerFollowsEveryLayoutOverDesktopAndXProgramsAndKcminputrcIsTheUsersAfterQuitAndCrash)
{
    KwinSession kwin("us,ru,de", true);
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

    unsigned layout = 0;
    LayoutSwitch next = [&] {
        layout = 1 - layout;
        EXPECT_TRUE(kwin.switchLayout(layout));
        return std::string(layout ? "ru" : "en");
    };
    std::string language =
        expectEverySwitchShown(kwin, next, "KWin: setLayout to the badge on KWin's pointer", tarnwick);
    auto detect = kwin.launch(tarnwick, {"--detect"});
    detect->wait(10);
    EXPECT_EQ(detect->standardOutput(), "en\tEn\tEnglish (US)\txkb:us\n");
    auto xPrograms = expectRestingPointersFollow(kwin, std::move(applications), language, next, tarnwick, "KWin");

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(TempHome::readFile(kcminputrc), users) << "every other line as it was";
    EXPECT_TRUE(waitUntil(2, [&] { return badgeSeen(kwin, language, Under::xProgram) == 0; }))
        << "over GTK 3 on XWayland";
    xPrograms.pop_back();
    EXPECT_TRUE(kwin.restPointerOverXwayland(xterm.x, xterm.y));
    EXPECT_EQ(badgeSeen(kwin, language, Under::xProgram), 0) << "over xterm";
    kwin.restPointerOver(restX, restY);
    EXPECT_TRUE(waitUntil(2, [&] { return badgeSeen(kwin, language, Under::desktop) == 0; }));

    program = kwin.launch(tarnwick);
    ASSERT_TRUE(waitForBadge(kwin, language, 15)) << tarnwick.log();
    program->signal(SIGKILL);
    program->wait(10);
    program = kwin.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(TempHome::readFile(kcminputrc), users) << "after kill -9 and a new start";
}

TEST(WaylandDesktopProgramTest, SwayHoldsEveryLayoutsThemeForItsPointerXProgramsFollowAndTheUsersIsBackAfterQuitAndCrash)
{
    SwaySession sway("us,ru,de", true);
    ASSERT_TRUE(sway.ready());
    auto applications = startApplications(sway);
    ASSERT_TRUE(sway.restPointer(restX, restY));
    auto plugged = [&] { sway.input().replug(); };
    TarnwickProgram tarnwick;
    auto program = sway.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Input sources: using sway (TARNWICK_INPUT_SOURCE=auto; ")) << tarnwick.log();
    ASSERT_TRUE(waitForBadge(sway, "en", 15, Under::desktop, plugged)) << tarnwick.log();

    unsigned layout = 0;
    LayoutSwitch next = [&] {
        layout = (layout + 1) % 3;
        EXPECT_TRUE(sway.switchLayout(layout));
        const char* languages[] = {"en", "ru", "de"};
        return std::string(languages[layout]);
    };
    std::string language = expectEverySwitchShown(
        sway, next, "sway: xkb_switch_layout to the badge on sway's pointer plugged in anew", tarnwick, Under::desktop,
        plugged);
    std::string gtkSettings = sway.configHome() + "/glib-2.0/settings/keyfile";
    EXPECT_NE(TempHome::readFile(gtkSettings).find("cursor-theme='Tarnwick-ru-"), std::string::npos);
    auto detect = sway.launch(tarnwick, {"--detect"});
    detect->wait(10);
    EXPECT_EQ(detect->standardOutput(), "ru\tРу\tRussian\txkb:ru\n");
    // Qt 6.4 takes its theme only as it starts: the pointer rests over GTK 3
    // on Wayland once Qt's window is gone.
    applications.pop_back();
    EXPECT_TRUE(sway.waitForWindow("designer", false));
    sway.restPointerOver(900, 400);
    EXPECT_TRUE(waitForBadge(sway, language, 5)) << "GTK 3 on Wayland\n" << tarnwick.log();
    language = expectEverySwitchShown(sway, next, "sway: the pointer resting over GTK 3 on Wayland", tarnwick);
    auto xPrograms = expectRestingPointersFollow(sway, std::move(applications), language, next, tarnwick, "sway");

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_TRUE(waitUntil(2, [&] { return sway.pointerPixelsNear(fill(language)) == 0; }))
        << "over GTK 3 on XWayland";
    xPrograms.pop_back();
    EXPECT_TRUE(sway.restPointerOverXwayland(xterm.x, xterm.y));
    EXPECT_EQ(sway.pointerPixelsNear(fill(language)), 0) << "over xterm";
    sway.restPointerOver(restX, restY);
    EXPECT_TRUE(waitUntil(2, [&] { return plugged(), sway.pointerPixelsNear(fill(language)) == 0; }));
    EXPECT_NE(TempHome::readFile(gtkSettings).find("cursor-theme='DMZ-White'"), std::string::npos);

    program = sway.launch(tarnwick);
    ASSERT_TRUE(waitForBadge(sway, language, 15, Under::desktop, plugged)) << tarnwick.log();
    program->signal(SIGKILL);
    program->wait(10);
    program = sway.launch(tarnwick);
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_TRUE(waitUntil(2, [&] { return plugged(), sway.pointerPixelsNear(fill(language)) == 0; }))
        << "after kill -9 and a new start";
}
