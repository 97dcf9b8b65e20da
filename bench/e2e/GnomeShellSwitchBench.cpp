// The program in a real GNOME Shell session (headless, dconf, the IBus daemon
// the shell starts), switched with the shell's own shortcut, Super+Space:
// how long the program takes from the input-source change to the new theme
// name in the desktop's cursor-theme setting, and then to the badge on a
// pointer resting over a GTK window.
//
// Every instant is read by one observer in this process from the session's
// own messages: dconf's change notices (mru-sources, which the shell writes,
// and cursor-theme, which the program writes) and IBus's GlobalEngineChanged
// (which the shell causes first). The floor is a minimal client, in this
// process, that writes cursor-theme as soon as it hears of mru-sources: the
// two trips through dconf that any such program pays. Its switches run in
// the same session, before and after the program's.
//
// TARNWICK_BENCH_PROGRAM runs another build of the program as well (an
// earlier one, with its providers beside it) for a before/after comparison;
// TARNWICK_BENCH_SHELL_EXTENSION enables the program's shell extension.

#include "Figures.h"
#include "support/wayland/GnomeShellSession.h"

#include "support/ChildProcess.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <benchmark/benchmark.h>
#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr unsigned superKey = 0xffeb;
constexpr unsigned spaceKey = 0x20;
constexpr int switchesPerProgram = 60;
constexpr int floorSwitches = 30;
constexpr int coldSwitches = 10;
// The letter badges' fills for English and Russian.
constexpr std::uint32_t englishFill = 0x0033b3;
constexpr std::uint32_t russianFill = 0xff3b30;
constexpr int badgePixels = 40;

// The IBus daemon the shell started, on its own bus; none before it is up.
GDBusConnection* connectToIbus()
{
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(std::string(getenv("HOME")) + "/.config/ibus/bus", ignored)) {
        std::ifstream file(entry.path());
        for (std::string line; std::getline(file, line);)
            if (line.starts_with("IBUS_ADDRESS="))
                return g_dbus_connection_new_for_address_sync(
                    line.substr(13).c_str(),
                    GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                    nullptr, nullptr, nullptr);
    }
    return nullptr;
}

void subscribeToEngine(GDBusConnection* ibus, GDBusSignalCallback callback, gpointer data)
{
    if (ibus)
        g_dbus_connection_signal_subscribe(ibus, nullptr, "org.freedesktop.IBus", "GlobalEngineChanged", nullptr, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, callback, data, nullptr);
}

// The session's messages that mark a switch, heard on a thread of its own.
class SwitchObserver {
public:
    struct Marks {
        std::optional<Clock::time_point> engine, mru, theme;
    };

    SwitchObserver()
    {
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        thread_ = std::thread([this] {
            g_main_context_push_thread_default(context_);
            subscribe();
            g_main_loop_run(loop_);
            g_main_context_pop_thread_default(context_);
        });
    }

    ~SwitchObserver()
    {
        g_main_loop_quit(loop_);
        thread_.join();
        for (GDBusConnection* bus : {session_, ibus_})
            if (bus)
                g_object_unref(bus);
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

    void reset()
    {
        {
            std::lock_guard lock(mutex_);
            marks_ = {};
        }
        // IBus, which the shell starts, may come up after this observer.
        if (!ibus_)
            g_main_context_invoke(context_, &SwitchObserver::watchIbus, this);
    }

    Marks marks()
    {
        std::lock_guard lock(mutex_);
        return marks_;
    }

private:
    void subscribe()
    {
        session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        g_dbus_connection_signal_subscribe(session_, nullptr, "ca.desrt.dconf.Writer", "Notify", nullptr, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, &SwitchObserver::onDconf, this, nullptr);
    }

    static gboolean watchIbus(gpointer self)
    {
        auto* observer = static_cast<SwitchObserver*>(self);
        if (!observer->ibus_) {
            observer->ibus_ = connectToIbus();
            subscribeToEngine(observer->ibus_, &SwitchObserver::onEngine, observer);
        }
        return G_SOURCE_REMOVE;
    }

    static void onDconf(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                        gpointer self)
    {
        auto now = Clock::now();
        const char* prefix = nullptr;
        GVariantIter* changes = nullptr;
        const char* tag = nullptr;
        g_variant_get(parameters, "(&sas&s)", &prefix, &changes, &tag);
        std::string keys = prefix;
        const char* change = nullptr;
        while (g_variant_iter_next(changes, "&s", &change))
            keys += std::string(" ") + prefix + change;
        g_variant_iter_free(changes);
        auto* observer = static_cast<SwitchObserver*>(self);
        std::lock_guard lock(observer->mutex_);
        if (keys.find("input-sources/mru-sources") != std::string::npos && !observer->marks_.mru)
            observer->marks_.mru = now;
        if (keys.find("interface/cursor-theme") != std::string::npos && !observer->marks_.theme)
            observer->marks_.theme = now;
    }

    static void onEngine(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*, gpointer self)
    {
        auto now = Clock::now();
        auto* observer = static_cast<SwitchObserver*>(self);
        std::lock_guard lock(observer->mutex_);
        if (!observer->marks_.engine)
            observer->marks_.engine = now;
    }

    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
    GDBusConnection* session_ = nullptr;
    GDBusConnection* ibus_ = nullptr;
    std::mutex mutex_;
    Marks marks_;
};

// The least a program can do: write cursor-theme when mru-sources or the
// IBus engine changes.
class FloorClient {
public:
    FloorClient()
    {
        context_ = g_main_context_new();
        loop_ = g_main_loop_new(context_, FALSE);
        thread_ = std::thread([this] {
            g_main_context_push_thread_default(context_);
            GSettings* sources = g_settings_new("org.gnome.desktop.input-sources");
            interface_ = g_settings_new("org.gnome.desktop.interface");
            g_signal_connect(sources, "changed::mru-sources", G_CALLBACK(&FloorClient::onSwitch), this);
            g_variant_unref(g_settings_get_value(sources, "mru-sources"));
            GDBusConnection* ibus = connectToIbus();
            subscribeToEngine(ibus, &FloorClient::onEngine, this);
            g_main_loop_run(loop_);
            if (ibus)
                g_object_unref(ibus);
            g_object_unref(sources);
            g_object_unref(interface_);
            g_main_context_pop_thread_default(context_);
        });
    }

    ~FloorClient()
    {
        g_main_loop_quit(loop_);
        thread_.join();
        g_main_loop_unref(loop_);
        g_main_context_unref(context_);
    }

private:
    static void onSwitch(GSettings*, const char*, gpointer self)
    {
        auto* client = static_cast<FloorClient*>(self);
        client->dark_ = !client->dark_;
        g_settings_set_string(client->interface_, "cursor-theme", client->dark_ ? "DMZ-Black" : "DMZ-White");
    }

    static void onEngine(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*, gpointer self)
    {
        onSwitch(nullptr, nullptr, self);
    }

    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;
    GSettings* interface_ = nullptr;
    bool dark_ = false;
};

// TARNWICK_BENCH_SHELL_EXTENSION names an extension's folder to install and
// enable in the session, as a user who turned it on has it.
std::vector<std::string> shellExtensions()
{
    const char* folder = std::getenv("TARNWICK_BENCH_SHELL_EXTENSION");
    return folder && *folder ? std::vector<std::string>{folder} : std::vector<std::string>{};
}

class Bench {
public:
    Bench()
    {
        if (!session_.ready())
            return;
        for (const auto& [name, value] : session_.environment())
            setenv(name.c_str(), value.c_str(), 1);
        ready_ = true;
    }

    GnomeShellSession& session() { return session_; }

    // GNOME's input sources, the first one selected.
    void useSources(const std::string& list)
    {
        session_.setSetting("org.gnome.desktop.input-sources", "sources", list);
        session_.setSetting("org.gnome.desktop.input-sources", "mru-sources", list);
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    bool ready() const { return ready_; }

    std::unique_ptr<ChildProcess> launch(const std::string& program)
    {
        auto environment = session_.environment();
        environment["TARNWICK_WINDOW_SERVER"] = "";
        environment["TARNWICK_INPUT_SOURCE"] = "";
        auto child = tarnwick_.launch(environment, {}, program);
        bool selected = waitUntil(30, [&] {
            return session_.setting("org.gnome.desktop.interface", "cursor-theme").starts_with("'Tarnwick-");
        });
        // Past the first apply's re-activations and stabilization.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return selected ? std::move(child) : nullptr;
    }

    // Super+Space; the marks of the switch, once cursor-theme has followed.
    // Cold: the folders of the language switched to are removed first, so
    // the program writes its theme anew.
    std::optional<SwitchObserver::Marks> switchOnce(bool cold = false)
    {
        if (cold)
            removeThemeOfNextLanguage();
        observer_.reset();
        session_.pressKeys({superKey, spaceKey});
        bool followed = waitUntil(3, [&] { return observer_.marks().theme.has_value(); });
        // Following IBus, the program may be quicker than the shell's own
        // write of mru-sources.
        waitUntil(1, [&] { return observer_.marks().mru.has_value(); });
        SwitchObserver::Marks marks = observer_.marks();
        // Past the switcher popup and the program's delayed work.
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        if (!followed || !marks.mru || !marks.theme)
            return std::nullopt;
        return marks;
    }

private:
    void removeThemeOfNextLanguage()
    {
        bool toRussian = session_.setting("org.gnome.desktop.input-sources", "mru-sources").starts_with("[('xkb', 'us')");
        std::string prefix = std::string("Tarnwick-") + (toRussian ? "ru" : "en") + "-";
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(home_.applicationSupport() + "/icons", ignored))
            if (entry.path().filename().string().starts_with(prefix))
                fs::remove_all(entry.path(), ignored);
    }

    TempHome home_;
    GnomeShellSession session_{{"DMZ-White", {{"xkb", "us"}, {"xkb", "ru"}}, shellExtensions()}};
    TarnwickProgram tarnwick_;
    SwitchObserver observer_;
    bool ready_ = false;
};

Bench& bench()
{
    static Bench instance;
    return instance;
}

struct Series {
    std::vector<double> fromMru, fromEngine;

    void add(const SwitchObserver::Marks& marks)
    {
        fromMru.push_back(milliseconds(*marks.theme - *marks.mru));
        if (marks.engine)
            fromEngine.push_back(milliseconds(*marks.theme - *marks.engine));
    }
};

Series floorSeries(int switches)
{
    FloorClient floor;
    Series series;
    for (int i = 0; i < switches; ++i)
        if (auto marks = bench().switchOnce())
            series.add(*marks);
    return series;
}

// Both languages' themes are written in the first two switches, which are
// not counted unless cold.
std::optional<Series> programSeries(const std::string& program, int switches, bool cold = false)
{
    auto child = bench().launch(program);
    if (!child)
        return std::nullopt;
    for (int i = 0; i < 2 && !cold; ++i)
        bench().switchOnce();
    Series series;
    for (int i = 0; i < switches; ++i)
        if (auto marks = bench().switchOnce(cold))
            series.add(*marks);
    child->signal(SIGTERM);
    child->wait(10);
    return series;
}

void report(benchmark::State& state, const std::string& name, const Series& series, const Series& floor)
{
    double floorMedian = percentile(floor.fromMru, 0.5);
    state.counters[name + "_n"] = static_cast<double>(series.fromMru.size());
    state.counters[name + "_median_ms"] = percentile(series.fromMru, 0.5);
    state.counters[name + "_p99_ms"] = percentile(series.fromMru, 0.99);
    state.counters[name + "_from_engine_median_ms"] = percentile(series.fromEngine, 0.5);
    state.counters[name + "_ratio_to_floor"] = percentile(series.fromMru, 0.5) / floorMedian;
    if (!floor.fromEngine.empty() && !series.fromEngine.empty())
        state.counters[name + "_from_engine_ratio_to_floor"] =
            percentile(series.fromEngine, 0.5) / percentile(floor.fromEngine, 0.5);
}

// Input-source change to cursor-theme written, warm: both languages' themes
// are on disk after the first two switches.
void InputSourceToThemeSetting(benchmark::State& state)
{
    if (!bench().ready()) {
        state.SkipWithError("GNOME Shell did not start");
        return;
    }
    for (auto _ : state) {
        Series floor = floorSeries(floorSwitches);
        auto now = programSeries(ChildProcess::programPath(), switchesPerProgram);
        std::optional<Series> before;
        if (const char* other = std::getenv("TARNWICK_BENCH_PROGRAM"))
            before = programSeries(other, switchesPerProgram);
        Series floorAfter = floorSeries(floorSwitches);
        floor.fromMru.insert(floor.fromMru.end(), floorAfter.fromMru.begin(), floorAfter.fromMru.end());
        if (!now) {
            state.SkipWithError("the program did not select its theme");
            return;
        }
        state.counters["floor_median_ms"] = percentile(floor.fromMru, 0.5);
        state.counters["floor_p99_ms"] = percentile(floor.fromMru, 0.99);
        report(state, "now", *now, floor);
        if (before)
            report(state, "before", *before, floor);
        state.SetIterationTime(percentile(now->fromMru, 0.5) / 1000);
    }
}


// Between a keyboard layout and an IBus engine (Unikey), which the shell
// selects in IBus before it writes mru-sources. GNOME names no language for
// an IBus source, which the program then badges as English: the layout is
// Russian, so that every switch changes the badge.
void IbusEngineToThemeSetting(benchmark::State& state)
{
    if (!bench().ready()) {
        state.SkipWithError("GNOME Shell did not start");
        return;
    }
    bench().useSources("[('xkb', 'ru'), ('ibus', 'Unikey')]");
    for (auto _ : state) {
        Series floor = floorSeries(floorSwitches);
        auto now = programSeries(ChildProcess::programPath(), floorSwitches);
        std::optional<Series> before;
        if (const char* other = std::getenv("TARNWICK_BENCH_PROGRAM"))
            before = programSeries(other, floorSwitches);
        if (!now) {
            state.SkipWithError("the program did not select its theme");
            return;
        }
        state.counters["floor_from_engine_median_ms"] = percentile(floor.fromEngine, 0.5);
        report(state, "now", *now, floor);
        if (before)
            report(state, "before", *before, floor);
        state.SetIterationTime(percentile(now->fromEngine, 0.5) / 1000);
    }
    bench().useSources("[('xkb', 'us'), ('xkb', 'ru')]");
}

// Where a pointer rests: an empty notebook page of each widget factory (the
// arrow), and the shell's own bar.
struct Rest {
    const char* name;
    const char* factory;
    int x, y;
};
const Rest rests[] = {{"gtk3", "/usr/bin/gtk3-widget-factory", 500, 700},
                      {"gtk4", "/usr/bin/gtk4-widget-factory", 500, 700},
                      {"bar", "/usr/bin/gtk3-widget-factory", 400, 14}};

// Switches with the pointer resting, 25 through the shortcut and 5 through
// mru-sources alone (as a window's own source or a script changes it): the
// time from the key press or the write to the first screenshot that shows
// the new badge, and how many show it within a second. A screenshot shows
// the screen of the frame after it was asked for, so it is timed from the
// moment it was asked for; each takes 60 to 300 ms, which bounds every
// figure from below. A shortcut the shell did not act on (cursor-theme
// still names the language before) is counted apart, and another is made.
struct RestingSeries {
    std::vector<double> byShortcut, withoutPopup;
    int shortcutWithinSecond = 0, withoutPopupWithinSecond = 0, notSwitchedByTheShell = 0;
};

std::optional<RestingSeries> restingSeries(const std::string& program, const Rest& rest)
{
    GnomeShellSession& session = bench().session();
    auto environment = session.environment();
    environment["GDK_BACKEND"] = "wayland";
    ChildProcess window({rest.factory}, environment);
    waitUntil(20, [&] {
        session.leaveOverview();
        QImage screen = session.capture(false);
        return !screen.isNull() && qGray(screen.pixel(500, 700)) > 200;
    });
    auto child = bench().launch(program);
    if (!child)
        return std::nullopt;
    session.movePointer(rest.x, rest.y);
    auto themeIsEnglish = [&] {
        return session.setting("org.gnome.desktop.interface", "cursor-theme").starts_with("'Tarnwick-en-");
    };
    bool english = themeIsEnglish();
    auto showing = [&] {
        return session.pointerPixelsNear(rest.x, rest.y, english ? englishFill : russianFill) >= badgePixels;
    };
    if (!waitUntil(10, showing))
        return std::nullopt;
    RestingSeries series;
    for (int tries = 0; series.byShortcut.size() + series.withoutPopup.size() < 30 && tries < 40; ++tries) {
        bool byShortcut = series.byShortcut.size() < 25;
        english = !english;
        auto start = Clock::now();
        if (byShortcut)
            session.pressKeys({superKey, spaceKey});
        else
            session.setSetting("org.gnome.desktop.input-sources", "mru-sources",
                               english ? "[('xkb', 'us'), ('xkb', 'ru')]" : "[('xkb', 'ru'), ('xkb', 'us')]");
        std::optional<double> taken;
        while (!taken && Clock::now() - start < std::chrono::seconds(3)) {
            auto asked = Clock::now();
            if (showing())
                taken = milliseconds(asked - start);
        }
        if (!taken && themeIsEnglish() != english) {
            ++series.notSwitchedByTheShell;
            english = !english;
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            continue;
        }
        (byShortcut ? series.byShortcut : series.withoutPopup).push_back(taken.value_or(3000));
        (byShortcut ? series.shortcutWithinSecond : series.withoutPopupWithinSecond) += taken && *taken <= 1000;
        // Past the switcher popup and the program's delayed work.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    child->signal(SIGTERM);
    child->wait(10);
    return series;
}

void ShortcutToTheRestingPointer(benchmark::State& state)
{
    if (!bench().ready()) {
        state.SkipWithError("GNOME Shell did not start");
        return;
    }
    std::vector<std::pair<std::string, std::string>> programs{{"now", ChildProcess::programPath()}};
    if (const char* other = std::getenv("TARNWICK_BENCH_PROGRAM"))
        programs.emplace_back("before", other);
    for (auto _ : state) {
        for (const auto& [label, program] : programs) {
            for (const Rest& rest : rests) {
                auto series = restingSeries(program, rest);
                std::string name = label + "_" + rest.name + "_";
                if (!series) {
                    state.SkipWithError(("the program did not badge the resting pointer: " + name).c_str());
                    return;
                }
                state.counters[name + "shortcut_median_ms"] = median(series->byShortcut);
                state.counters[name + "shortcut_worst_ms"] = worst(series->byShortcut);
                state.counters[name + "shortcut_within_1s"] = series->shortcutWithinSecond;
                state.counters[name + "without_popup_worst_ms"] = worst(series->withoutPopup);
                state.counters[name + "without_popup_within_1s"] = series->withoutPopupWithinSecond;
                state.counters[name + "shortcuts"] = static_cast<double>(series->byShortcut.size());
                state.counters[name + "not_switched_by_the_shell"] = series->notSwitchedByTheShell;
            }
        }
        state.SetIterationTime(1e-3);
    }
}

// The first switch to a language in a home without its theme: the theme is
// written off the main thread and selected once complete.
void FirstSwitchToThemeSetting(benchmark::State& state)
{
    if (!bench().ready()) {
        state.SkipWithError("GNOME Shell did not start");
        return;
    }
    for (auto _ : state) {
        Series floor = floorSeries(coldSwitches);
        auto now = programSeries(ChildProcess::programPath(), coldSwitches, true);
        std::optional<Series> before;
        if (const char* other = std::getenv("TARNWICK_BENCH_PROGRAM"))
            before = programSeries(other, coldSwitches, true);
        if (!now) {
            state.SkipWithError("the program did not select its theme");
            return;
        }
        state.counters["floor_median_ms"] = percentile(floor.fromMru, 0.5);
        report(state, "now", *now, floor);
        if (before)
            report(state, "before", *before, floor);
        state.SetIterationTime(percentile(now->fromMru, 0.5) / 1000);
    }
}

}

BENCHMARK(InputSourceToThemeSetting)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(IbusEngineToThemeSetting)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ShortcutToTheRestingPointer)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FirstSwitchToThemeSetting)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
