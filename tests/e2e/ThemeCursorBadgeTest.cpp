#include "ProgramOnXServer.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <set>

namespace {

struct Case {
    int size;
    bool leftHanded;
    const char* style;
    std::vector<const char*> xNames;
};

// What the badge did to a theme cursor on screen: the share of the glyph's
// opaque pixels unchanged, found through the hot spots (mirrored, column c
// lands where the mirrored hot spot, width - x, says), and the opaque pixels
// beyond the glyph.
struct Figures {
    double survival = 0;
    int discPixels = 0;
    ScreenCursor live;

    Figures(ScreenCursor shown, const XcursorImage& glyph, bool mirrored) : live(std::move(shown))
    {
        std::set<long> covered;
        int opaque = 0, kept = 0;
        for (int gy = 0; gy < static_cast<int>(glyph.height); ++gy) {
            for (int gx = 0; gx < static_cast<int>(glyph.width); ++gx) {
                std::uint32_t pixel = glyph.pixels[gy * glyph.width + gx];
                int x = live.xHot + (mirrored ? int(glyph.xhot) - 1 - gx : gx - int(glyph.xhot));
                int y = live.yHot + gy - int(glyph.yhot);
                if ((pixel >> 24) == 0)
                    continue;
                ++opaque;
                if (x < 0 || y < 0 || x >= live.width || y >= live.height)
                    continue;
                covered.insert(long(y) * live.width + x);
                kept += live.pixels[std::size_t(y) * live.width + x] == pixel;
            }
        }
        survival = opaque ? double(kept) / opaque : 0;
        for (long at = 0; at < long(live.pixels.size()); ++at)
            discPixels += (live.pixels[std::size_t(at)] >> 24) >= 0x80 && !covered.contains(at);
    }
};

// Most of a whole disc of 18 points at so many pixels per point.
double wholeDisc(int pixelsPerPoint)
{
    return 0.85 * std::numbers::pi * 81 * pixelsPerPoint * pixelsPerPoint;
}

// A program nobody here wrote, started as a user starts it on this desktop.
struct Application {
    const char* name;
    std::string path;
    std::map<std::string, std::string> environment;
};

const Application gtk3{"GTK 3 (package gtk-3-examples)",
                       "/usr/bin/gtk3-widget-factory",
                       {{"GDK_BACKEND", "x11"}, {"NO_AT_BRIDGE", "1"}, {"GSETTINGS_BACKEND", "memory"}}};
const Application qt6{"Qt 6 (package designer-qt6)", "/usr/lib/qt6/bin/designer", {{"QT_QPA_PLATFORM", "xcb"}}};

const std::set<std::string> arrowNames{"left_ptr", "default", "arrow", "top_left_arrow"};
const std::set<std::string> iBeamNames{"xterm", "text", "ibeam"};

using Clock = std::chrono::steady_clock;

struct Arrival {
    int x, y;
    Clock::time_point at;
};

// The bottom right corner of the screen: both applications open at the top
// left, less tall than the screen.
constexpr int outsideX = 1279, outsideY = 799;

class ThemeCursorBadgeTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> start(const Application& application)
    {
        // Designer opens a modal "New Form" dialog over its window otherwise.
        TempHome::writeFile(session.home().configHome() + "/QtProject/Designer.conf",
                            "[newFormDialog]\nShowOnStartup=false\n");
        auto environment = application.environment;
        environment.insert({{"DBUS_SESSION_BUS_ADDRESS", session.busAddress()}, {"WAYLAND_DISPLAY", ""}});
        auto process = std::make_unique<ChildProcess>(std::vector<std::string>{application.path}, environment);
        EXPECT_TRUE(waitUntil(30, [&] { return applicationWindowShown(); })) << application.name;
        return process;
    }

    void stop(std::unique_ptr<ChildProcess> application)
    {
        application->signal(SIGTERM);
        application->wait(10);
        EXPECT_TRUE(waitUntil(10, [&] { return !applicationWindowShown(); }));
    }

    // A window as large as an application's; the session's own test window
    // is smaller.
    bool applicationWindowShown()
    {
        Display* display = session.window().display();
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
            return false;
        // A window may go between the listing and the question.
        auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        bool shown = false;
        for (unsigned int i = 0; i < count && !shown; ++i) {
            XWindowAttributes attributes;
            shown = XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
                    attributes.width >= 400 && attributes.height >= 400;
        }
        XSetErrorHandler(previous);
        XFree(children);
        return shown;
    }

    Arrival moveTo(int x, int y)
    {
        Display* display = session.window().display();
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XSync(display, False);
        return {x, y, Clock::now()};
    }

    Arrival enterFromOutside(int x, int y)
    {
        moveTo(outsideX, outsideY);
        return moveTo(x, y);
    }

    // Moves the pointer over the upper left of the window until the
    // application shows a cursor of one of the names there, or the theme's
    // image of one without a name, as Qt 6.5 and later make theirs (no
    // accessibility to ask where its text fields are); the pointer stays.
    // A second, slower pass gives a busy machine time to answer each move.
    std::optional<Arrival> findShowing(const std::set<std::string>& names)
    {
        std::set<std::uint64_t> themed;
        for (const std::string& name : names) {
            if (auto cursor = themeCursor(name.c_str()))
                themed.insert(pixelHash(cursor->pixels));
        }
        auto showing = [&] {
            ScreenCursor live = session.live();
            return names.contains(live.name) || (live.name.empty() && themed.contains(pixelHash(live.pixels)));
        };
        for (double settle : {0.03, 0.2}) {
            for (int y = 20; y < 560; y += 24) {
                for (int x = 20; x < 700; x += 48) {
                    Arrival arrival = moveTo(x, y);
                    if (waitUntil(settle, showing))
                        return arrival;
                }
            }
        }
        return std::nullopt;
    }

    // The badge on a cursor of one of the names within a second of the
    // pointer's arrival.
    ::testing::AssertionResult badgedSoonAfter(const Arrival& arrival, const std::set<std::string>& names,
                                               const std::string& what)
    {
        Rgb english = letterBadgeFill("en");
        ScreenCursor now;
        bool badged = waitUntil(1, [&] {
            now = session.live();
            return names.contains(now.name) && opaquePixelsNear(now, english) >= 20;
        });
        double seconds = std::chrono::duration<double>(Clock::now() - arrival.at).count();
        std::cout << "[figures] " << what << " at " << arrival.x << "," << arrival.y << ": \"" << now.name << "\" "
                  << now.width << "x" << now.height << ", badge " << (badged ? "after " : "still missing after ")
                  << seconds << " s\n";
        return badged && seconds <= 1 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << what;
    }

    // The program with the case's size, style and hand, then a window of each
    // X name once the badge shows beside its whole glyph (or after 10 s).
    std::vector<Figures> run(const Case& run)
    {
        TempHome::writeFile(session.home().configHome() + "/tarnwick/com.tarnwick.app.plist",
                            std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                        "<key>tarnwick.cursor_style.global</key><string>") +
                                run.style + "</string><key>tarnwick.left_handed</key><" +
                                (run.leftHanded ? "true" : "false") + "/></dict></plist>");
        std::string size = std::to_string(run.size);
        setenv("XCURSOR_SIZE", size.c_str(), 1);
        auto program = session.launch({{"XCURSOR_SIZE", size}});
        EXPECT_TRUE(session.waitForLog("Tarnwick launch.")) << program->standardError();
        std::vector<Figures> seen;
        for (const char* xName : run.xNames) {
            XcursorImage* glyph = XcursorLibraryLoadImage(xName, std::getenv("XCURSOR_THEME"), run.size);
            CursorTestWindow window(xName);
            auto measure = [&] { return Figures(window.onScreen(), *glyph, run.leftHanded); };
            waitUntil(10, [&] { return measure().discPixels > 40 && measure().survival >= 0.98; });
            seen.push_back(measure());
            const Figures& f = seen.back();
            std::cout << "[figures] " << run.style << " " << size << "px " << (run.leftHanded ? "left " : "right ")
                      << xName << ": live " << f.live.width << "x" << f.live.height << " hot " << f.live.xHot << ","
                      << f.live.yHot << " survival " << f.survival * 100 << "% disc " << f.discPixels << " px\n";
            XcursorImageDestroy(glyph);
        }
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << program->standardError();
        return seen;
    }

    ProgramOnXServer session;
};

TEST_F(ThemeCursorBadgeTest, TheBadgeSitsBesideTheWholeThemeGlyphAndGrowsWithTheThemeSize)
{
    ASSERT_TRUE(session.ready());
    const std::vector<const char*> shapes{"left_ptr", "xterm", "hand2"};
    for (bool leftHanded : {false, true}) {
        std::vector<Figures> at24;
        for (int size : {24, 32, 48}) {
            std::vector<Figures> seen = run({size, leftHanded, "letterBadge", shapes});
            for (std::size_t i = 0; i < seen.size(); ++i) {
                EXPECT_GE(seen[i].survival, 0.98) << shapes[i] << " " << size << " left " << leftHanded;
                EXPECT_GE(seen[i].discPixels, wholeDisc(size / 24)) << shapes[i] << " " << size;
                if (size == 48) {
                    EXPECT_NEAR(double(seen[i].discPixels) / at24[i].discPixels, 4, 1) << shapes[i];
                }
            }
            if (size == 24)
                at24 = seen;
        }
    }
    // Every style keeps its whole disc off the glyph.
    for (const char* style : {"dotBadge", "highContrast"}) {
        for (const Figures& figures : run({24, false, style, shapes})) {
            EXPECT_GE(figures.survival, 0.98) << style;
            EXPECT_GE(figures.discPixels, wholeDisc(1)) << style;
        }
    }
}

TEST_F(ThemeCursorBadgeTest, ResizeCursorsKeepTheirKindAndTheirHotSpot)
{
    ASSERT_TRUE(session.ready());
    for (int size : {24, 48}) {
        for (const Figures& figures :
             run({size, false, "letterBadge", {"sb_h_double_arrow", "sb_v_double_arrow", "bottom_right_corner"}})) {
            EXPECT_GE(figures.survival, 0.98) << size;
            // Square at an arrow's size, each is a diagonal resize cursor,
            // which grows by 26 points each way.
            EXPECT_EQ(figures.live.width, (32 + 26) * size / 24);
            EXPECT_EQ(figures.live.height, (32 + 26) * size / 24);
        }
    }
}

// Over a plain part of the window the application shows the arrow, over a
// text field the I-beam; both carry the badge, whether the application
// loaded them before Tarnwick replaced them or after.
TEST_F(ThemeCursorBadgeTest, GtkAndQtApplicationsShowTheBadgeStartedBeforeOrAfterTarnwick)
{
    ASSERT_TRUE(session.ready());
    for (const Application* application : {&gtk3, &qt6})
        ASSERT_TRUE(std::filesystem::exists(application->path)) << application->name << " is not installed";
    for (auto [early, late] : {std::pair{&gtk3, &qt6}, std::pair{&qt6, &gtk3}}) {
        auto earlyProgram = start(*early);
        std::optional<Arrival> earlyIBeam = findShowing(iBeamNames);
        ASSERT_TRUE(earlyIBeam) << early->name << " shows no text field";
        auto program = session.launch();
        ASSERT_TRUE(session.waitForLog("apply completed.")) << program->standardError();
        std::string before = std::string(early->name) + " started before";
        EXPECT_TRUE(badgedSoonAfter(enterFromOutside(20, 20), arrowNames, before + ", arrow"));
        EXPECT_TRUE(badgedSoonAfter(enterFromOutside(earlyIBeam->x, earlyIBeam->y), iBeamNames, before + ", I-beam"));
        stop(std::move(earlyProgram));

        auto lateProgram = start(*late);
        std::string after = std::string(late->name) + " started after";
        EXPECT_TRUE(badgedSoonAfter(enterFromOutside(20, 20), arrowNames, after + ", arrow"));
        // The first time the pointer meets a text field.
        std::optional<Arrival> lateIBeam = findShowing(iBeamNames);
        ASSERT_TRUE(lateIBeam) << late->name << " shows no text field";
        EXPECT_TRUE(badgedSoonAfter(*lateIBeam, iBeamNames, after + ", I-beam"));
        // Quitting puts the theme's I-beam back under the resting pointer.
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << program->standardError();
        EXPECT_TRUE(waitUntil(1, [&] {
            ScreenCursor now = session.live();
            return iBeamNames.contains(now.name) && opaquePixelsNear(now, letterBadgeFill("en")) == 0;
        })) << after << ": the badge stays on the I-beam after quitting";
        stop(std::move(lateProgram));
    }
}

}
