// Qt and GoogleTest before the X headers, which define None, Bool and Status.
#include "support/wayland/GnomeShellSession.h"

#include "ProgramOnXServer.h"

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

constexpr const char* interfaceSchema = "org.gnome.desktop.interface";
constexpr const char* sourcesSchema = "org.gnome.desktop.input-sources";
constexpr int badgePixels = 40;
constexpr unsigned superKey = 0xffeb;
constexpr unsigned spaceKey = 0x20;
constexpr unsigned upKey = 0xff52;

struct Spot {
    const char* name;
    int x, y;
};

// Where the widget factories of GTK 3 and GTK 4 lay out an empty notebook
// page (the arrow) and a text entry (the I-beam), and the shell's own bar.
const Spot page{"an empty page", 500, 700};
const Spot entry{"a text entry", 180, 238};
const Spot bar{"the shell's top bar", 400, 14};

// A program nobody here wrote, as a user starts it in this session; X
// programs run through XWayland.
struct Application {
    const char* name;
    std::vector<std::string> command;
    std::map<std::string, std::string> environment;
};

const Application gtk3{"GTK 3 (gtk3-widget-factory)", {"/usr/bin/gtk3-widget-factory"}, {{"GDK_BACKEND", "wayland"}}};
const Application gtk4{"GTK 4 (gtk4-widget-factory)", {"/usr/bin/gtk4-widget-factory"}, {{"GDK_BACKEND", "wayland"}}};
const Application gtk3OnX{"GTK 3 on X (gtk3-widget-factory)", {"/usr/bin/gtk3-widget-factory"}, {{"GDK_BACKEND", "x11"}}};
const Application xterm{"xterm", {"/usr/bin/xterm", "-geometry", "100x40+0+40"}, {{"GDK_BACKEND", "x11"}}};
const Application qt6{"Qt 6 (designer)", {"/usr/lib/qt6/bin/designer"}, {{"QT_QPA_PLATFORM", "wayland"}}};
// In xterm's text area, where it shows the I-beam.
const Spot terminal{"xterm's text", 200, 300};
// The empty list of Designer's object inspector, where it shows the arrow.
const Spot inspector{"Designer's object inspector", 1000, 260};

// Pixels of the badge's fill on the pointer resting at the spot.
int badgeOnPointer(const GnomeShellSession& session, const Spot& spot, const std::string& language)
{
    Rgb fill = letterBadgeFill(language);
    return session.pointerPixelsNear(spot.x, spot.y, std::uint32_t(fill.red << 16 | fill.green << 8 | fill.blue));
}

// The log's lines of the switches the program applied.
std::string switches(const std::string& log)
{
    std::istringstream lines(log);
    std::string found;
    for (std::string line; std::getline(lines, line);)
        if (line.find("Apply requested") != std::string::npos)
            found += line + "\n";
    return found;
}

// Windows covering the whole screen mapped on XWayland since it began to
// watch, without the window manager's frame.
class MapWatch {
public:
    explicit MapWatch(const std::map<std::string, std::string>& environment)
    {
        setenv("XAUTHORITY", environment.at("XAUTHORITY").c_str(), 1);
        display_ = XOpenDisplay(environment.at("DISPLAY").c_str());
        if (!display_)
            return;
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~MapWatch()
    {
        if (display_)
            XCloseDisplay(display_);
    }

    int screenCoverMaps()
    {
        while (display_ && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            const XCreateWindowEvent& created = event.xcreatewindow;
            if (event.type == CreateNotify && created.override_redirect &&
                created.width >= GnomeShellSession::width && created.height >= GnomeShellSession::height)
                covers_.insert(created.window);
            maps_ += event.type == MapNotify && covers_.contains(event.xmap.window);
        }
        return maps_;
    }

private:
    Display* display_ = nullptr;
    std::set<Window> covers_;
    int maps_ = 0;
};

// The installed shell's major version, which decides the module format of
// its extensions, as the package chooses it.
int shellMajorVersion()
{
    ChildProcess version({"/usr/bin/gnome-shell", "--version"});
    version.wait(10);
    int major = 0;
    std::sscanf(version.standardOutput().c_str(), "GNOME Shell %d", &major);
    return major;
}

class GnomeShellProgramTest : public ::testing::TestWithParam<bool> {
protected:
    bool withExtension() const { return GetParam(); }

    GnomeShellSession::Options options() const
    {
        GnomeShellSession::Options options{userTheme, {{"xkb", "us"}, {"xkb", "ru"}}, {}};
        if (withExtension())
            options.extensionFolders.push_back(std::string(TARNWICK_SOURCE_DIR "/packaging/gnome-shell/") +
                                               (shellMajor < 45 ? "42" : "45") + "/pointer-refresh@tarnwick.com");
        return options;
    }

    std::unique_ptr<ChildProcess> open(const Application& application, const Spot& spot)
    {
        auto environment = session.environment();
        environment.insert(application.environment.begin(), application.environment.end());
        auto program = std::make_unique<ChildProcess>(application.command, environment);
        // The window covers the desktop's background once it is up. GNOME
        // 50 and later no longer maximize a window as large as the screen,
        // and place it partly off screen: a user maximizes it.
        EXPECT_TRUE(waitUntil(20, [&] {
            session.leaveOverview();
            if (shellMajor >= 50)
                session.pressKeys({superKey, upKey});
            QImage screen = session.capture(false);
            return !screen.isNull() && qGray(screen.pixel(spot.x, spot.y)) > 200;
        })) << application.name << " did not open its window: " << program->standardError();
        return program;
    }

    bool showsBadge(const Spot& spot, const std::string& language, double limit)
    {
        return waitUntil(limit, [&] {
            nudgeWhereMotionIsNeeded(spot);
            return badgeOnPointer(session, spot, language) >= badgePixels;
        });
    }

    // With the pointer resting, GNOME's input source changes through the
    // shell's own shortcut, or without the shell's switcher, as a script
    // changes it.
    void switchTo(const std::string& language, bool byShortcut)
    {
        std::string other = language == "us" ? "ru" : "us";
        // Until IBus is up, which takes a new session's shell many seconds
        // on a loaded machine, GNOME 48 switches the layout by the shortcut
        // but neither records nor announces it; a user presses it again.
        auto switched = [&] {
            return session.setting(sourcesSchema, "mru-sources").starts_with("[('xkb', '" + language + "')");
        };
        if (byShortcut) {
            for (int press = 0; press < 20 && !switched(); ++press) {
                session.pressKeys({superKey, spaceKey});
                waitUntil(2, switched);
            }
        } else
            session.setSetting(sourcesSchema, "mru-sources", "[('xkb', '" + language + "'), ('xkb', '" + other + "')]");
    }

    void expectRestingPointerFollows(const Application& application, const Spot& spot, bool byShortcut = false)
    {
        session.movePointer(spot.x, spot.y);
        ASSERT_TRUE(showsBadge(spot, "en", 10))
            << application.name << ", " << spot.name << ": no badge on the pointer\n" << tarnwick.log();
        for (const char* language : {"ru", "us"}) {
            switchTo(language, byShortcut);
            std::string code = language == std::string("us") ? "en" : language;
            EXPECT_TRUE(showsBadge(spot, code, 5))
                << application.name << ", " << spot.name << ": the resting pointer kept its badge after the switch to "
                << language << "; cursor-theme " << session.setting(interfaceSchema, "cursor-theme") << "\n"
                << switches(tarnwick.log());
        }
    }

    // GNOME Shell 48 shows a new theme on a pointer resting over anything
    // only as the pointer moves, unless the extension nudges it. The
    // program's part, every switch applied, is still asked for: shown at the
    // pointer's next motion.
    void nudgeWhereMotionIsNeeded(const Spot& spot)
    {
        if (withExtension() || shellMajor < 45 || redrawsRestingPointer)
            return;
        session.movePointer(spot.x + 1, spot.y);
        session.movePointer(spot.x, spot.y);
    }

    int shellMajor = shellMajorVersion();
    // GNOME 50 and later draw a new theme on a resting pointer at once, over
    // windows and the shell alike; 48 waits for the pointer to move.
    bool redrawsRestingPointer = shellMajor >= 50;
    std::string userTheme = XvfbServer::cursorTheme();
    TempHome home;
    GnomeShellSession session{options()};
    TarnwickProgram tarnwick;
};

}

TEST_P(GnomeShellProgramTest, ARestingPointerShowsEverySwitchAndTheRestoreOverGtkWindowsAndTheShell)
{
    unsetenv("GSETTINGS_BACKEND");
    if (withExtension() && !options().extensionFolders.empty() &&
        TempHome::readFile(options().extensionFolders.front() + "/metadata.json")
                .find('"' + std::to_string(shellMajor) + '"') == std::string::npos)
        GTEST_SKIP() << "the shell extension does not claim GNOME Shell " << shellMajor << ", so the shell skips it";
    ASSERT_TRUE(session.ready());
    MapWatch maps(session.environment());
    auto gtk3Window = open(gtk3, page);

    auto environment = session.environment();
    environment["TARNWICK_WINDOW_SERVER"] = "";
    environment["TARNWICK_INPUT_SOURCE"] = "";
    auto program = tarnwick.launch(environment);
    ASSERT_TRUE(waitUntil(20, [&] { return session.setting(interfaceSchema, "cursor-theme").starts_with("'Tarnwick-en-"); }))
        << session.setting(interfaceSchema, "cursor-theme") << "\n" << tarnwick.log() << program->standardError();

    expectRestingPointerFollows(gtk3, page, true);
    EXPECT_TRUE(inOrder(tarnwick.log(), {"newCode=ru prevSource=xkb:us newSource=xkb:ru applied=true",
                                         "newCode=en prevSource=xkb:ru newSource=xkb:us applied=true"}))
        << "the shell's shortcut, followed through IBus, names GNOME's sources\n" << tarnwick.log();
    expectRestingPointerFollows(gtk3, entry);
    expectRestingPointerFollows(gtk3, bar);
    gtk3Window.reset();
    auto gtk4Window = open(gtk4, page);
    expectRestingPointerFollows(gtk4, page);
    expectRestingPointerFollows(gtk4, entry);
    gtk4Window.reset();
    auto xtermWindow = open(xterm, terminal);
    expectRestingPointerFollows(xterm, terminal);
    xtermWindow.reset();
    // Qt before 6.6 loads the cursor theme once, at its start; later ones
    // ask the compositor to draw their cursors. Designer opens a modal "New
    // Form" dialog over its window unless told not to.
    if (QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)) {
        TempHome::writeFile(home.configHome() + "/QtProject/Designer.conf", "[newFormDialog]\nShowOnStartup=false\n");
        auto qt6Window = open(qt6, inspector);
        expectRestingPointerFollows(qt6, inspector);
    }
    auto gtk3OnXWindow = open(gtk3OnX, page);
    expectRestingPointerFollows(gtk3OnX, page);

    // A run killed outright leaves its theme selected; the next start takes
    // the user's theme back from the backup it left and badges it again.
    program->signal(SIGKILL);
    program->wait(10);
    program = tarnwick.launch(environment);
    // The killed run's badge is still on the pointer: the new start counts
    // once it has taken over.
    ASSERT_TRUE(tarnwick.waitForLog("Tarnwick launch.")) << tarnwick.log();
    EXPECT_TRUE(showsBadge(page, "en", 20)) << "no badge after a start that followed kill -9\n" << tarnwick.log();

    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10), 0) << program->standardError();
    EXPECT_EQ(session.setting(interfaceSchema, "cursor-theme"), "'" + userTheme + "'");
    EXPECT_TRUE(waitUntil(5, [&] {
        nudgeWhereMotionIsNeeded(page);
        return badgeOnPointer(session, page, "en") == 0;
    }))
        << "the resting pointer kept the badge after the program ended";

    if (withExtension())
        EXPECT_EQ(maps.screenCoverMaps(), 0) << "the shell extension refreshes the pointer; XWayland is not needed";
    else if (shellMajor >= 45)
        EXPECT_EQ(maps.screenCoverMaps(), 0) << "a covering window does not serve this shell";
    else
        EXPECT_GT(maps.screenCoverMaps(), 0);
}

// Xlib defines Bool; the generator is GoogleTest's.
INSTANTIATE_TEST_SUITE_P(, GnomeShellProgramTest, ::testing::Values(false, true), [](const auto& info) {
    return info.param ? "WithTheShellExtension" : "WithoutTheShellExtension";
});
