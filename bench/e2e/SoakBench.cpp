// The program under a long day's use on a private X server: 2,000 keyboard
// group changes back to back and, among them, 200 style and left-handed
// toggles clicked through the menu it exports to the tray host. It has to
// stay up, end on the badge of the final layout and style, hold no more
// cursors or pixmaps in the X server than before, keep its resident memory
// within 2 MB of what it had after the first minute, and put the theme's
// arrow back exactly on SIGTERM. Each failed condition skips the benchmark
// with its reason; the figures are counters.

#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"
#include "support/dbus/PrivateSessionBus.h"
#include "support/dbus/TestStatusNotifierWatcher.h"

#include <benchmark/benchmark.h>

#include <X11/XKBlib.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int switches = 2000;
constexpr int toggleEvery = 10;
constexpr auto switchSpacing = std::chrono::milliseconds(40);
constexpr double allowedGrowthMB = 2.0;

struct Rgb {
    int red, green, blue;
};
constexpr Rgb english{0, 51, 179};
constexpr int badgePixels = 20;

struct CursorPicture {
    int width = 0, height = 0, xhot = 0, yhot = 0;
    std::vector<unsigned long> pixels;
    friend bool operator==(const CursorPicture&, const CursorPicture&) = default;
};

CursorPicture liveCursor(Display* display)
{
    CursorPicture picture;
    if (XFixesCursorImage* image = XFixesGetCursorImage(display)) {
        picture = {image->width, image->height, image->xhot, image->yhot,
                   std::vector<unsigned long>(image->pixels, image->pixels + image->width * image->height)};
        XFree(image);
    }
    return picture;
}

int fillPixels(const CursorPicture& picture, Rgb colour)
{
    auto channel = [](unsigned long pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); };
    int count = 0;
    for (unsigned long pixel : picture.pixels)
        count += channel(pixel, 24) == 0xFF && std::abs(channel(pixel, 16) - colour.red) <= 2 &&
                 std::abs(channel(pixel, 8) - colour.green) <= 2 && std::abs(channel(pixel, 0) - colour.blue) <= 2;
    return count;
}

double residentMegabytes(int pid)
{
    std::ifstream text("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return -1;
}

struct ServerResources {
    long cursors = -1, pixmaps = -1;
};

// What the X server holds for the client connections of one process.
ServerResources resourcesOf(Display* display, int pid)
{
    XResClientIdSpec everyClientsPid{None, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    ServerResources total;
    if (XResQueryClientIds(display, 1, &everyClientsPid, &count, &ids) != Success)
        return total;
    Atom cursorAtom = XInternAtom(display, "CURSOR", False), pixmapAtom = XInternAtom(display, "PIXMAP", False);
    for (long i = 0; i < count; ++i) {
        if (XResGetClientIdType(&ids[i]) != XRES_CLIENT_ID_PID || XResGetClientPid(&ids[i]) != pid)
            continue;
        const auto& [client, idLength, idValue] = ids[i];
        int types = 0;
        XResType* list = nullptr;
        if (!XResQueryClientResources(display, client.client, &types, &list))
            continue;
        total.cursors = std::max(total.cursors, 0L);
        total.pixmaps = std::max(total.pixmaps, 0L);
        for (int t = 0; t < types; ++t) {
            if (list[t].resource_type == cursorAtom)
                total.cursors += list[t].count;
            if (list[t].resource_type == pixmapAtom)
                total.pixmaps += list[t].count;
        }
        XFree(list);
    }
    XResClientIdsDestroy(count, ids);
    return total;
}

}

static void SoakOfSwitchesAndMenuToggles(benchmark::State& state)
{
    for (auto _ : state) {
        TempHome home;
        XvfbServer server;
        PrivateSessionBus bus;
        const std::string theme = XvfbServer::cursorTheme();
        if (!server.running() || !bus.running()) {
            state.SkipWithError("no private X server or session bus");
            return;
        }
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("XCURSOR_THEME", theme.c_str(), 1);
        setenv("XCURSOR_SIZE", "24", 1);
        if (std::system(("setxkbmap -display " + server.display() + " -layout us,ru").c_str()) != 0) {
            state.SkipWithError("setxkbmap failed");
            return;
        }
        Display* display = XOpenDisplay(nullptr);
        Window root = DefaultRootWindow(display);
        Window window = XCreateSimpleWindow(display, root, 0, 0, 200, 200, 0, 0, 0);
        XDefineCursor(display, window, XcursorLibraryLoadCursor(display, "left_ptr"));
        XMapRaised(display, window);
        XWarpPointer(display, None, root, 0, 0, 0, 0, 100, 100);
        XkbLockGroup(display, XkbUseCoreKbd, 0);
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const CursorPicture arrow = liveCursor(display);

        TestStatusNotifierWatcher tray(bus.address());
        ChildProcess program({ChildProcess::programPath()}, {{"DISPLAY", server.display()},
                                                             {"TARNWICK_LOG_FILE", home.path() + "/Tarnwick.log"},
                                                             {"WAYLAND_DISPLAY", ""},
                                                             {"DBUS_SESSION_BUS_ADDRESS", bus.address()},
                                                             {"QT_QPA_PLATFORM", "xcb"},
                                                             {"TARNWICK_WINDOW_SERVER", "x11"},
                                                             {"TARNWICK_INPUT_SOURCE", "xkb"}});
        auto item = tray.waitForItem(30);
        if (!item) {
            state.SkipWithError("the tray item never registered");
            return;
        }
        // The first apply and its re-activations settle.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const ServerResources before = resourcesOf(display, program.pid());

        auto start = Clock::now();
        double rssAfterFirstMinute = -1;
        int toggles = 0;
        for (int i = 0; i < switches; ++i) {
            XkbLockGroup(display, XkbUseCoreKbd, i % 2 == 0 ? 1 : 0);
            XFlush(display);
            if (i % toggleEvery == toggleEvery - 1) {
                // Alternately the style and the handedness; an even number of
                // each brings both back to where they started.
                bool style = (i / toggleEvery) % 2 == 0;
                bool system = (i / (2 * toggleEvery)) % 2 == 0;
                const char* label = !style ? "Left-handed cursor" : system ? "System cursor" : "Letter badge";
                toggles += tray.click(*item, label);
            }
            std::this_thread::sleep_for(switchSpacing);
            if (rssAfterFirstMinute < 0 && Clock::now() - start >= std::chrono::minutes(1))
                rssAfterFirstMinute = residentMegabytes(program.pid());
        }
        std::this_thread::sleep_for(std::chrono::seconds(3));
        if (program.wait(0).has_value()) {
            state.SkipWithError("the program ended during the soak");
            return;
        }
        const double rssAtEnd = residentMegabytes(program.pid());
        const ServerResources after = resourcesOf(display, program.pid());
        const CursorPicture final = liveCursor(display);

        program.signal(SIGTERM);
        auto status = program.wait(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const bool arrowBack = liveCursor(display) == arrow;
        XCloseDisplay(display);

        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["switches"] = switches;
        state.counters["toggles"] = toggles;
        state.counters["rss_MB_after_first_minute"] = rssAfterFirstMinute;
        state.counters["rss_MB_at_end"] = rssAtEnd;
        state.counters["cursors_before"] = double(before.cursors);
        state.counters["cursors_after"] = double(after.cursors);
        state.counters["pixmaps_before"] = double(before.pixmaps);
        state.counters["pixmaps_after"] = double(after.pixmaps);
        if (before.cursors < 0 || after.cursors < 0)
            state.SkipWithError("XRes lists no X client of the program");
        else if (toggles != switches / toggleEvery)
            state.SkipWithError("a menu click was not answered");
        else if (fillPixels(final, english) < badgePixels)
            state.SkipWithError("the final badge is not the English letter badge");
        else if (after.cursors > before.cursors || after.pixmaps > before.pixmaps)
            state.SkipWithError("the X server holds more cursors or pixmaps for the program than before");
        else if (rssAtEnd - rssAfterFirstMinute >= allowedGrowthMB)
            state.SkipWithError("resident memory grew by 2 MB or more after the first minute");
        else if (status != 0 || !arrowBack)
            state.SkipWithError("SIGTERM did not end the program with the theme's arrow back");
    }
}
// Over two minutes a run: once, whatever repetitions `make bench` asks of the others.
BENCHMARK(SoakOfSwitchesAndMenuToggles)->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
