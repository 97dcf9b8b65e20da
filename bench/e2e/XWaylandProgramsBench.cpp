// The program on real KWin and sway sessions (headless, as the tests run
// them), with the pointer resting over X programs under XWayland: xterm's
// text and a text entry of GTK 3 run with GDK_BACKEND=x11. From the layout
// switch made through the desktop (KWin's setLayout, sway's
// xkb_switch_layout) to
//   (a) XWayland's own cursor on screen showing the new badge, read with
//       XFixesGetCursorImage on a connection of this process after every
//       cursor notification and every millisecond ("X11 speed");
//   (b) the compositor's capture of its pointer showing it, which is as
//       fine as one capture is long.
// Each beside a floor measured in the same session: for (a) a minimal X
// client in the same XWayland that hears the desktop announce the switch
// and changes the cursor on screen by name to one it made ready beforehand,
// the badge's colour all over; for (b) the time one capture takes.
// First, before any window opens, the compositor's own pointer resting over
// the desktop: the switch to its capture showing the badge, and the
// program's own part, from its "Applying cursor" line to the line that
// ends the apply, the desktop's setting written and announced in between.

// GoogleTest before the X headers, which define None, Bool and Status.
#include "Figures.h"
#include "e2e/ProgramOnXServer.h"

#include "platform/compositor/SwayIpc.h"
#include "support/wayland/KwinSession.h"
#include "support/wayland/SwaySession.h"
#include "support/wayland/XProgram.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <benchmark/benchmark.h>
#include <gio/gio.h>
#include <glib-unix.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sstream>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int x11Switches = 50;
constexpr int capturedSwitches = 20;
constexpr int badgePixels = 20;
// Fill pixels in XWayland's cursor image that make a badge: a letter badge
// has over a hundred, the cursor under it none.
constexpr int badgeFillPixels = 40;
// After each switch, past the program's work behind it (the resting
// pointer's refresh waits up to 0.1 s).
constexpr auto settle = std::chrono::milliseconds(500);
const char* languages[] = {"en", "ru"};

std::uint32_t fill(const std::string& language)
{
    Rgb colour = letterBadgeFill(language);
    return std::uint32_t(colour.red) << 16 | std::uint32_t(colour.green) << 8 | std::uint32_t(colour.blue);
}

// The cursor XWayland shows, watched on a connection and thread of its own:
// looked at after every change XFixes announces, and every millisecond.
class CursorOnScreen {
public:
    explicit CursorOnScreen(const std::string& display) : display_(XOpenDisplay(display.c_str()))
    {
        int error = 0;
        if (display_ && XFixesQueryExtension(display_, &fixesEvent_, &error))
            thread_ = std::thread([this] { watch(); });
    }

    ~CursorOnScreen()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        if (display_)
            XCloseDisplay(display_);
    }

    bool watching() const { return thread_.joinable(); }

    // From now on, the first moment the cursor shows the colour.
    void expect(std::uint32_t colour)
    {
        std::lock_guard lock(mutex_);
        colour_ = 0xFF000000u | colour;
        shown_.reset();
    }

    std::optional<Clock::time_point> shown(double seconds)
    {
        std::optional<Clock::time_point> when;
        waitUntil(seconds, [&] {
            std::lock_guard lock(mutex_);
            return (when = shown_).has_value();
        });
        return when;
    }

private:
    void watch()
    {
        XFixesSelectCursorInput(display_, DefaultRootWindow(display_), XFixesDisplayCursorNotifyMask);
        XFlush(display_);
        while (!stopping_) {
            pollfd connection{ConnectionNumber(display_), POLLIN, 0};
            poll(&connection, 1, 1);
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
            }
            look();
        }
    }

    void look()
    {
        XFixesCursorImage* image = XFixesGetCursorImage(display_);
        auto now = Clock::now();
        if (!image)
            return;
        std::lock_guard lock(mutex_);
        int pixels = 0;
        for (int i = 0; i < image->width * image->height; ++i)
            pixels += (image->pixels[i] & 0xFFFFFFFFu) == colour_;
        if (pixels >= badgeFillPixels && !shown_)
            shown_ = now;
        XFree(image);
    }

    Display* display_;
    int fixesEvent_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::uint32_t colour_ = 0;
    std::optional<Clock::time_point> shown_;
};

// The least a program can do: hear the desktop announce the layout (KWin's
// layoutChanged, sway's input events) and change the cursor on screen by
// its name to one made beforehand. A change by name also turns every other
// cursor of that name into the new one, so each switch has a cursor of its
// own, named only as it goes on screen. The name's own cursor comes back
// when the client ends.
class FloorClient {
public:
    FloorClient(WaylandSession& session, bool sway, std::string name, int x, int y)
        : display_(XOpenDisplay(session.xDisplay().c_str())), name_(std::move(name)), x_(x), y_(y)
    {
        // The session's own theme; libXcursor keeps the search path of the
        // first session this process saw.
        themeFile_ = session.home() + "/.icons/" + session.environment().at("XCURSOR_THEME") + "/cursors/" + name_;
        for (const char* language : languages) {
            ready_.emplace_back();
            for (int i = 0; i < readyCursors; ++i)
                ready_.back().push_back(solidCursor(fill(language)));
        }
        XSync(display_, False);
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        thread_ = std::thread([this, &session, sway] {
            g_main_context_push_thread_default(context_);
            sway ? listenToSway(session) : listenToKwin(session);
            g_main_loop_run(loop_);
            if (bus_)
                g_object_unref(bus_);
            g_main_context_pop_thread_default(context_);
        });
    }

    ~FloorClient()
    {
        g_main_loop_quit(loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
        if (Cursor own = XcursorFilenameLoadCursor(display_, themeFile_.c_str())) {
            XFixesSetCursorName(display_, own, name_.c_str());
            XFixesChangeCursorByName(display_, own, name_.c_str());
            XFreeCursor(display_, own);
        }
        XCloseDisplay(display_);
    }

    // Enough for every switch of a series.
    static constexpr int readyCursors = 64;

private:
    // The badge's colour all over.
    Cursor solidCursor(std::uint32_t colour)
    {
        XcursorImage* image = XcursorImageCreate(24, 24);
        std::fill(image->pixels, image->pixels + 24 * 24, 0xFF000000u | colour);
        image->xhot = image->yhot = 0;
        Cursor cursor = XcursorImageLoadCursor(display_, image);
        XcursorImageDestroy(image);
        return cursor;
    }

    // A program that set its cursor for the pointer device (GTK) sets it
    // again, now the new one, when the pointer comes back into its window:
    // the pointer leaves for a one-pixel window for a moment.
    void show(unsigned index)
    {
        if (index >= ready_.size() || ready_[index].empty())
            return;
        Cursor cursor = ready_[index].back();
        ready_[index].pop_back();
        XFixesSetCursorName(display_, cursor, name_.c_str());
        XFixesChangeCursorByName(display_, cursor, name_.c_str());
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.cursor = cursor;
        Window window = XCreateWindow(display_, DefaultRootWindow(display_), x_, y_, 1, 1, 0, 0, InputOnly,
                                      CopyFromParent, CWOverrideRedirect | CWCursor, &attributes);
        XMapRaised(display_, window);
        XDestroyWindow(display_, window);
        XFlush(display_);
    }

    void listenToKwin(WaylandSession& session)
    {
        bus_ = g_dbus_connection_new_for_address_sync(
            session.environment().at("DBUS_SESSION_BUS_ADDRESS").c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        auto changed = [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                          gpointer self) {
            guint32 index = 0;
            g_variant_get(parameters, "(u)", &index);
            static_cast<FloorClient*>(self)->show(index);
        };
        if (bus_)
            g_dbus_connection_signal_subscribe(bus_, "org.kde.keyboard", "org.kde.KeyboardLayouts", "layoutChanged",
                                               "/Layouts", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, changed, this, nullptr);
    }

    void listenToSway(WaylandSession& session)
    {
        sway_.emplace(session.environment().at("SWAYSOCK"));
        sway_->request(SwayIpc::subscribe, "[\"input\"]");
        auto readable = [](int, GIOCondition, gpointer self) -> gboolean {
            auto* client = static_cast<FloorClient*>(self);
            std::vector<SwayIpc::Message> events;
            bool open = client->sway_->takeEvents(events);
            for (const auto& event : events) {
                const std::string key = "\"xkb_active_layout_index\": ";
                auto at = event.payload.find(key);
                if (event.payload.find("\"xkb_layout\"") != std::string::npos && at != std::string::npos)
                    client->show(static_cast<unsigned>(std::atoi(event.payload.c_str() + at + key.size())));
            }
            return open;
        };
        GSource* source = g_unix_fd_source_new(sway_->fd(), G_IO_IN);
        g_source_set_callback(source, G_SOURCE_FUNC(+readable), this, nullptr);
        g_source_attach(source, context_);
        g_source_unref(source);
    }

    Display* display_;
    std::string name_;
    std::string themeFile_;
    int x_, y_;
    std::vector<std::vector<Cursor>> ready_;
    GMainContext* context_;
    GMainLoop* loop_;
    GDBusConnection* bus_ = nullptr;
    std::optional<SwayIpc> sway_;
    std::thread thread_;
};

struct Series {
    std::vector<double> x11, captured, floorX11, floorCapture, ownPart;
};

class Desktop {
public:
    Desktop(WaylandSession& session, CursorOnScreen& cursor) : session_(session), cursor_(cursor) {}

    unsigned layout() const { return layout_; }

    // Milliseconds from each switch to XWayland's cursor showing its badge.
    std::vector<double> switchesToX11(int count)
    {
        std::vector<double> series;
        for (int i = 0; i < count; ++i) {
            auto start = switchLayout();
            if (auto shown = cursor_.shown(2))
                series.push_back(milliseconds(*shown - start));
            std::this_thread::sleep_for(settle);
        }
        return series;
    }

    // Milliseconds from each switch to the first capture showing its badge.
    std::vector<double> switchesToCapture(int count)
    {
        std::vector<double> series;
        for (int i = 0; i < count; ++i) {
            auto start = switchLayout();
            std::uint32_t colour = fill(languages[layout_]);
            // One capture after the other, with no pause between.
            bool shown = false;
            while (!shown && Clock::now() - start < std::chrono::seconds(2))
                shown = session_.pointerPixelsNear(colour) >= badgePixels;
            if (shown)
                series.push_back(milliseconds(Clock::now() - start));
            std::this_thread::sleep_for(settle);
        }
        return series;
    }

    std::vector<double> captures(int count)
    {
        std::vector<double> series;
        for (int i = 0; i < count; ++i) {
            auto start = Clock::now();
            session_.pointerPixelsNear(0);
            series.push_back(milliseconds(Clock::now() - start));
        }
        return series;
    }

private:
    Clock::time_point switchLayout()
    {
        layout_ = 1 - layout_;
        cursor_.expect(fill(languages[layout_]));
        auto start = Clock::now();
        session_.switchLayout(layout_);
        return start;
    }

    WaylandSession& session_;
    CursorOnScreen& cursor_;
    unsigned layout_ = 0;
};

// The X name of the cursor XWayland shows; empty for one without a name.
std::string cursorName(const std::string& display)
{
    std::string name;
    if (Display* connection = XOpenDisplay(display.c_str())) {
        if (XFixesCursorImage* image = XFixesGetCursorImage(connection)) {
            name = image->name ? image->name : "";
            XFree(image);
        }
        XCloseDisplay(connection);
    }
    return name;
}

// Nothing, and why in failure, when the pointer over the program never
// shows the program's badge.
std::optional<Series> measure(WaylandSession& session, const XProgram& program, Desktop& desktop,
                              CursorOnScreen& cursor, bool sway, std::string& failure)
{
    failure = std::string(program.name) + ": the pointer does not rest over the I-beam";
    // Both spots show the I-beam, "xterm"; until the window has its place
    // the pointer may rest over something else.
    const std::string name = "xterm";
    if (!waitUntil(20, [&] {
            return session.restPointerOverXwayland(program.x, program.y) && cursorName(session.xDisplay()) == name;
        }))
        return std::nullopt;
    Series series;
    {
        FloorClient floor(session, sway, name, program.x, program.y);
        desktop.switchesToX11(2);
        series.floorX11 = desktop.switchesToX11(x11Switches);
    }
    series.floorCapture = desktop.captures(capturedSwitches);
    TarnwickProgram tarnwick;
    auto child = session.launch(tarnwick);
    cursor.expect(fill(languages[desktop.layout()]));
    if (!cursor.shown(30)) {
        failure = std::string(program.name) + ": no badge after the program's start\n" + tarnwick.log();
        return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    desktop.switchesToX11(2);
    series.x11 = desktop.switchesToX11(x11Switches);
    series.captured = desktop.switchesToCapture(capturedSwitches);
    child->signal(SIGTERM);
    child->wait(10);
    return series;
}

// "2026-01-31T09:05:07.123Z [INFO] text": the milliseconds of the day.
double logMilliseconds(const std::string& line)
{
    return (std::stod(line.substr(11, 2)) * 3600 + std::stod(line.substr(14, 2)) * 60 +
            std::stod(line.substr(17, 6))) * 1000;
}

// Each apply's span in the log, from its first line to its result.
std::vector<double> applySpans(const std::string& log)
{
    std::vector<double> spans;
    std::optional<double> begun;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 25 || line[10] != 'T')
            continue;
        if (line.find("] Applying cursor for language=") != std::string::npos)
            begun = logMilliseconds(line);
        else if (begun && line.find("] cursorController.apply result") != std::string::npos)
            spans.push_back(logMilliseconds(line) - *std::exchange(begun, std::nullopt));
    }
    return spans;
}

// The compositor's own pointer, resting over the empty desktop.
std::optional<Series> measureDesktop(WaylandSession& session, Desktop& desktop, std::string& failure)
{
    session.restPointerOver(WaylandSession::width / 2, WaylandSession::height / 2);
    Series series;
    series.floorCapture = desktop.captures(capturedSwitches);
    TarnwickProgram tarnwick;
    auto child = session.launch(tarnwick);
    if (!waitUntil(30, [&] { return session.pointerPixelsNear(fill(languages[desktop.layout()])) >= badgePixels; })) {
        failure = "the compositor's pointer shows no badge after the program's start\n" + tarnwick.log();
        return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::size_t startLines = applySpans(tarnwick.log()).size();
    series.captured = desktop.switchesToCapture(capturedSwitches);
    std::vector<double> spans = applySpans(tarnwick.log());
    series.ownPart.assign(spans.begin() + static_cast<std::ptrdiff_t>(startLines), spans.end());
    child->signal(SIGTERM);
    child->wait(10);
    return series;
}

void report(benchmark::State& state, const std::string& program, const Series& series)
{
    auto put = [&](const std::string& name, const std::vector<double>& values) {
        if (values.empty())
            return;
        state.counters[program + "_" + name + "_median_ms"] = percentile(values, 0.5);
        state.counters[program + "_" + name + "_p99_ms"] = percentile(values, 0.99);
        state.counters[program + "_" + name + "_n"] = static_cast<double>(values.size());
    };
    put("x11", series.x11);
    put("x11_floor", series.floorX11);
    put("captured", series.captured);
    put("capture_floor", series.floorCapture);
    state.counters[program + "_captured_worst_ms"] = worst(series.captured);
    put("own_part", series.ownPart);
}

template <typename Session>
void XProgramsOn(benchmark::State& state)
{
    constexpr bool sway = std::is_same_v<Session, SwaySession>;
    for (auto _ : state) {
        Session session("us,ru", true);
        if (!session.ready()) {
            state.SkipWithError("the compositor did not start");
            return;
        }
        CursorOnScreen cursor(session.xDisplay());
        Desktop desktop(session, cursor);
        std::vector<std::unique_ptr<ChildProcess>> windows;
        std::optional<Series> xtermSeries, gtkSeries;
        std::string failure;
        // sway before 1.10 keeps its own pointer's theme: the X programs
        // are measured all the same.
        if (auto desktopSeries = measureDesktop(session, desktop, failure))
            report(state, "desktop", *desktopSeries);
        else
            std::cerr << failure.substr(0, failure.find('\n')) << "\n";
        state.counters["desktop_pointer_follows"] = failure.empty() ? 1 : 0;
        failure.clear();
        for (const XProgram* program : {&xterm, &gtk3OnX}) {
            windows.push_back(session.run(program->command, program->environment));
            if (!cursor.watching() || !session.waitForWindow(program->windowName())) {
                state.SkipWithError("no XWayland, or no window");
                return;
            }
            auto& series = program == &xterm ? xtermSeries : gtkSeries;
            if (!(series = measure(session, *program, desktop, cursor, sway, failure))) {
                state.SkipWithError(failure.c_str());
                return;
            }
        }
        report(state, "xterm", *xtermSeries);
        report(state, "gtk", *gtkSeries);
        state.SetIterationTime(percentile(xtermSeries->x11, 0.5) / 1000);
    }
}

}

BENCHMARK(XProgramsOn<KwinSession>)
    ->Name("XProgramsOnKWin")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(XProgramsOn<SwaySession>)
    ->Name("XProgramsOnSway")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
