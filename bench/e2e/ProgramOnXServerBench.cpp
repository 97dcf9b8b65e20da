// The real program on a private X server, as a user runs it: how long a
// keyboard group change takes to show as the new badge on the live cursor,
// and what the program costs while nothing happens, each beside its floor
// measured in the same run.
//
// A switch is timed from just before this process locks the new XKB group
// (as a layout switcher does) until XFixesGetCursorImage shows the new
// language's badge fill; the cursor is read after each XFixes cursor
// notification or every millisecond, whichever comes first. The floor of a
// switch is a minimal client (FloorClient) switched the same way before the
// program starts; the floor of idling is a bare Qt loop with a 250 ms timer
// (BareQtLoop) measured beside the program.
//
// TARNWICK_BENCH_PROGRAM runs another build of the program (an earlier one,
// copied with its x11 provider beside it) for a before/after comparison.
// TARNWICK_BENCH_SWITCH_LOG names a file that receives the log lines of one
// warm switch to Russian without their time stamps, to compare two builds.

#include "Figures.h"
#include "BareQtLoop.h"
#include "FloorClient.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <X11/XKBlib.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Rgb {
    int red, green, blue;
    std::uint32_t word() const { return static_cast<std::uint32_t>(red << 16 | green << 8 | blue); }
};
// The letter badges' fills for English and Russian.
constexpr Rgb english{0, 51, 179};
constexpr Rgb russian{255, 59, 48};
// German has no colour of its own: the hue its code hashes to.
constexpr Rgb german{199, 56, 108};
constexpr int badgePixels = 20;

struct Layout {
    unsigned int group;
    Rgb fill;
};
constexpr Layout layouts[] = {{0, english}, {1, russian}, {2, german}};

// Switches of each series, for the floor and for the program.
constexpr int switchesPerSeries = 60;
constexpr int tapsPerSeries = 50;

int badgeFillPixels(Display* display, Rgb colour)
{
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image)
        return 0;
    auto channel = [](unsigned long pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); };
    int count = 0;
    for (int i = 0; i < image->width * image->height; ++i) {
        unsigned long pixel = image->pixels[i];
        count += channel(pixel, 24) == 0xFF && std::abs(channel(pixel, 16) - colour.red) <= 3 &&
                 std::abs(channel(pixel, 8) - colour.green) <= 3 && std::abs(channel(pixel, 0) - colour.blue) <= 3;
    }
    XFree(image);
    return count;
}

std::string programPath()
{
    const char* other = std::getenv("TARNWICK_BENCH_PROGRAM");
    return other && other[0] ? other : ChildProcess::programPath();
}

// Nanoseconds the main thread (whose id is the process's) has run.
double mainThreadSeconds(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/schedstat");
    unsigned long long nanoseconds = 0;
    file >> nanoseconds;
    return static_cast<double>(nanoseconds) / 1e9;
}

// "2026-01-31T09:05:07.123Z [INFO] text": the seconds of the day and the text.
std::pair<double, std::string> parsedLogLine(const std::string& line)
{
    if (line.size() < 25 || line[10] != 'T')
        return {-1, line};
    double seconds = std::stod(line.substr(11, 2)) * 3600 + std::stod(line.substr(14, 2)) * 60 +
                     std::stod(line.substr(17, 6));
    return {seconds, line.substr(25)};
}

// What the minimal client takes, in milliseconds: single switches, and the
// second switch of a double tap.
struct Floor {
    std::vector<double> switches;
    std::vector<double> taps;
};

// The X server, a window of another client showing the theme's arrow under
// the pointer, the floor measured on them, and Tarnwick started on them with
// layouts us, ru and de.
class Session {
public:
    Session()
    {
        if (!server_.running())
            return;
        setenv("DISPLAY", server_.display().c_str(), 1);
        setenv("XCURSOR_THEME", theme_.c_str(), 1);
        setenv("XCURSOR_SIZE", "24", 1);
        if (std::system(("setxkbmap -display " + server_.display() + " -layout us,ru,de").c_str()) != 0)
            return;
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            return;
        int eventBase = 0, errorBase = 0;
        XFixesQueryExtension(display_, &eventBase, &errorBase);
        Window root = DefaultRootWindow(display_);
        window_ = XCreateSimpleWindow(display_, root, 0, 0, 200, 200, 0, 0, 0);
        XDefineCursor(display_, window_, XcursorLibraryLoadCursor(display_, "left_ptr"));
        XMapRaised(display_, window_);
        XWarpPointer(display_, None, root, 0, 0, 0, 0, 100, 100);
        XFixesSelectCursorInput(display_, root, XFixesDisplayCursorNotifyMask);
        measureFloor();
        launch();
    }

    ~Session()
    {
        stop();
        if (display_)
            XCloseDisplay(display_);
    }

    // The program quit and started again in the same home, with the capes
    // of its earlier run on disk.
    bool restart()
    {
        stop();
        launch();
        return started_;
    }

    bool started() const { return started_; }
    int pid() const { return program_ ? program_->pid() : -1; }
    std::string logPath() const { return tarnwick_.logPath(); }
    const Floor& floor() const { return floor_; }

    // Seconds from the lock to the badge on screen, or a negative value when
    // it did not show within the timeout.
    double switchTo(unsigned int group, Rgb fill)
    {
        auto start = Clock::now();
        XkbLockGroup(display_, XkbUseCoreKbd, group);
        XFlush(display_);
        if (!waitForBadge(fill, 5))
            return -1;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // A double tap: the second switch (to English) is issued the moment the
    // first badge shows; seconds from its own lock, or negative.
    double doubleTap(int tap)
    {
        const Layout& first = layouts[1 + tap % 2];
        if (switchTo(first.group, first.fill) < 0)
            return -1;
        return switchTo(0, english);
    }

    // The log lines written since the last call.
    std::vector<std::string> newLogLines()
    {
        std::ifstream file(logPath());
        file.seekg(static_cast<std::streamoff>(logOffset_));
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            logOffset_ += line.size() + 1;
            lines.push_back(line);
        }
        return lines;
    }

private:
    // The minimal client, switched at the program's pace, then the theme's
    // arrow shown again.
    void measureFloor()
    {
        {
            FloorClient client({english.word(), russian.word(), german.word()}, theme_, 24);
            if (!client.ready())
                return;
            for (int i = 1; i <= switchesPerSeries; ++i) {
                const Layout& layout = layouts[i % 3];
                if (double seconds = switchTo(layout.group, layout.fill); seconds >= 0)
                    floor_.switches.push_back(seconds * 1e3);
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
            switchTo(0, english);
            for (int tap = 0; tap < tapsPerSeries; ++tap) {
                if (double seconds = doubleTap(tap); seconds >= 0)
                    floor_.taps.push_back(seconds * 1e3);
                std::this_thread::sleep_for(std::chrono::milliseconds(600));
            }
        }
        Cursor arrow = XcursorLibraryLoadCursor(display_, "left_ptr");
        XFixesChangeCursorByName(display_, arrow, "left_ptr");
        XFreeCursor(display_, arrow);
        XSync(display_, False);
    }

    void launch()
    {
        // The program empties its log when it starts.
        logOffset_ = 0;
        XkbLockGroup(display_, XkbUseCoreKbd, 0);
        XSync(display_, False);
        program_ = tarnwick_.launch({{"DISPLAY", server_.display()},
                                     {"WAYLAND_DISPLAY", ""},
                                     {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"},
                                     {"QT_QPA_PLATFORM", "xcb"},
                                     {"TARNWICK_WINDOW_SERVER", "x11"},
                                     {"TARNWICK_INPUT_SOURCE", "xkb"}},
                                    {}, programPath());
        started_ = waitForBadge(english, 30);
        // Let the re-activations and any stabilization re-apply of the first
        // apply pass before anything is measured.
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }

    void stop()
    {
        if (program_) {
            program_->signal(SIGTERM);
            program_->wait(10);
        }
        program_.reset();
        started_ = false;
    }

    bool waitForBadge(Rgb fill, double seconds)
    {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        pollfd connection{ConnectionNumber(display_), POLLIN, 0};
        while (Clock::now() < deadline) {
            if (badgeFillPixels(display_, fill) >= badgePixels)
                return true;
            poll(&connection, 1, 1);
            while (XPending(display_)) {
                XEvent event;
                XNextEvent(display_, &event);
            }
        }
        return false;
    }

    TempHome home_;
    XvfbServer server_;
    std::string theme_ = XvfbServer::cursorTheme();
    Display* display_ = nullptr;
    Window window_ = 0;
    Floor floor_;
    TarnwickProgram tarnwick_;
    std::unique_ptr<ChildProcess> program_;
    bool started_ = false;
    std::size_t logOffset_ = 0;
};

Session& session()
{
    static Session instance;
    return instance;
}

bool sessionReady(benchmark::State& state)
{
    if (!session().started())
        state.SkipWithError("Tarnwick did not show the English badge on the private X server");
    else if (session().floor().switches.empty() || session().floor().taps.empty())
        state.SkipWithError("the minimal client did not switch the badge");
    else
        return true;
    return false;
}

// A figure in milliseconds beside the floor's and their ratio.
void reportBesideFloor(benchmark::State& state, const std::string& name, double milliseconds, double floor)
{
    state.counters[name + "_ms"] = milliseconds;
    state.counters["floor_" + name + "_ms"] = floor;
    state.counters[name + "_ratio"] = milliseconds / floor;
}

// utime + stime in clock ticks, from /proc/<pid>/stat (fields 14 and 15,
// counted after the command name, which may hold spaces).
double cpuSeconds(int pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            utime = std::stoull(field);
        if (index == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Nanoseconds on a CPU per thread: the clock-tick figure above moves in
// 10 ms steps, too coarse for an idle minute.
std::map<std::string, double> scheduledSeconds(int pid)
{
    std::map<std::string, double> threads;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream file(task.path() / "schedstat");
        unsigned long long nanoseconds = 0;
        if (file >> nanoseconds)
            threads[task.path().filename().string()] = static_cast<double>(nanoseconds) / 1e9;
    }
    return threads;
}

// What the threads alive at both readings ran in between (a thread that ends
// takes its figure with it).
double scheduledBetween(const std::map<std::string, double>& before, const std::map<std::string, double>& after)
{
    double total = 0;
    for (const auto& [thread, seconds] : after) {
        auto earlier = before.find(thread);
        total += seconds - (earlier == before.end() ? 0 : earlier->second);
    }
    return total;
}

// A "Field:   1234 kB" line of /proc/<pid>/status or smaps_rollup, in MB.
double megabytes(int pid, const std::string& file, const std::string& field)
{
    std::ifstream text("/proc/" + std::to_string(pid) + "/" + file);
    for (std::string line; std::getline(text, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
    }
    return -1;
}

double residentMegabytes(int pid)
{
    return megabytes(pid, "status", "VmRSS");
}

}

// The lines of one switch, from "Applying cursor for language=" to the
// "Apply requested" line that ends its synchronous work, read until it is
// there (the badge shows long before a slow switch ends).
std::vector<std::string> switchLogLines()
{
    std::vector<std::string> lines;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    bool started = false;
    while (Clock::now() < deadline) {
        for (auto& line : session().newLogLines()) {
            started = started || line.find("] Applying cursor for language=") != std::string::npos;
            if (!started)
                continue;
            lines.push_back(std::move(line));
            if (lines.back().find("] Apply requested") != std::string::npos)
                return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

// From the first to the last of the lines, in seconds.
double loggedSeconds(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return -1;
    return parsedLogLine(lines.back()).first - parsedLogLine(lines.front()).first;
}

void keepSwitchLog(const std::vector<std::string>& lines)
{
    const char* path = std::getenv("TARNWICK_BENCH_SWITCH_LOG");
    if (!path || !path[0])
        return;
    std::ofstream file(path);
    for (const auto& line : lines)
        file << parsedLogLine(line).second << "\n";
}

// The first switch to each of ru and de: nothing of theirs is loaded or on
// disk. Beside the floor's median switch, which never has anything to load.
static void FirstSwitchToNewLanguage(benchmark::State& state)
{
    if (!sessionReady(state))
        return;
    double floor = median(session().floor().switches);
    for (auto _ : state) {
        double seconds = 0;
        for (const Layout& layout : {layouts[1], layouts[2]}) {
            double taken = session().switchTo(layout.group, layout.fill);
            if (taken < 0) {
                state.SkipWithError("the badge did not change within 5 s");
                return;
            }
            seconds += taken;
            reportBesideFloor(state, layout.group == 1 ? "ru" : "de", taken * 1e3, floor);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        state.SetIterationTime(seconds / 2);
    }
    session().switchTo(0, english);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    session().newLogLines();
}
BENCHMARK(FirstSwitchToNewLanguage)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 60 switches, in turn to ru, de and back to en, each with a pause after it:
// the median and the worst beside the floor's. Beside the time to the
// screen: the main thread's CPU time for the switch and everything it
// scheduled, and the span of its synchronous work in the log (medians).
static void LanguageSwitchToBadgeOnScreen(benchmark::State& state)
{
    if (!sessionReady(state))
        return;
    int pid = session().pid();
    for (auto _ : state) {
        std::vector<double> shown, mainThread, logged;
        for (int i = 1; i <= switchesPerSeries; ++i) {
            const Layout& layout = layouts[i % 3];
            double mainBefore = mainThreadSeconds(pid);
            double seconds = session().switchTo(layout.group, layout.fill);
            if (seconds < 0) {
                state.SkipWithError("the badge did not change within 5 s");
                return;
            }
            shown.push_back(seconds * 1e3);
            // The switch's re-activations (up to 0.32 s later) end before the next.
            std::vector<std::string> lines = switchLogLines();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            mainThread.push_back((mainThreadSeconds(pid) - mainBefore) * 1e3);
            logged.push_back(loggedSeconds(lines) * 1e3);
            if (i == 4)
                keepSwitchLog(lines);
        }
        const Floor& floor = session().floor();
        reportBesideFloor(state, "median", median(shown), median(floor.switches));
        reportBesideFloor(state, "p99", percentile(shown, 0.99), percentile(floor.switches, 0.99));
        reportBesideFloor(state, "worst", worst(shown), worst(floor.switches));
        state.counters["main_thread_ms"] = median(mainThread);
        state.counters["logged_ms"] = median(logged);
        state.SetIterationTime(median(shown) / 1e3);
    }
}
BENCHMARK(LanguageSwitchToBadgeOnScreen)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// Double taps: the second switch is issued the moment the first badge shows,
// and timed from its own lock; the median and the worst beside the floor's.
static void SecondSwitchRightAfterTheFirst(benchmark::State& state)
{
    if (!sessionReady(state))
        return;
    for (auto _ : state) {
        std::vector<double> taps;
        for (int tap = 0; tap < tapsPerSeries; ++tap) {
            double seconds = session().doubleTap(tap);
            if (seconds < 0) {
                state.SkipWithError("a badge did not change within 5 s");
                return;
            }
            taps.push_back(seconds * 1e3);
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            session().newLogLines();
        }
        const Floor& floor = session().floor();
        reportBesideFloor(state, "median", median(taps), median(floor.taps));
        reportBesideFloor(state, "p99", percentile(taps, 0.99), percentile(floor.taps, 0.99));
        reportBesideFloor(state, "worst", worst(taps), worst(floor.taps));
        state.SetIterationTime(median(taps) / 1e3);
    }
}
BENCHMARK(SecondSwitchRightAfterTheFirst)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A minute of switching among the three layouts, four switches a second at
// most; the resident memory it leaves behind. With argument 1 the program is
// first restarted, as after a login, and starts from the capes on disk.
static void MemoryAfterAMinuteOfSwitching(benchmark::State& state)
{
    if (state.range(0) == 1)
        session().restart();
    if (!sessionReady(state))
        return;
    int pid = session().pid();
    for (auto _ : state) {
        double rssBefore = residentMegabytes(pid);
        auto start = Clock::now();
        int switches = 0;
        while (Clock::now() - start < std::chrono::seconds(60)) {
            const Layout& layout = layouts[++switches % 3];
            if (session().switchTo(layout.group, layout.fill) < 0) {
                state.SkipWithError("the badge did not change within 5 s");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            session().newLogLines();
        }
        session().switchTo(0, english);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["switches"] = switches;
        state.counters["rss_MB_before"] = rssBefore;
        state.counters["rss_MB_after"] = residentMegabytes(pid);
        state.counters["rss_anon_MB"] = megabytes(pid, "status", "RssAnon");
    }
}
BENCHMARK(MemoryAfterAMinuteOfSwitching)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The program left alone after the switches: the CPU time of all its threads
// as a share of one core, beside a bare Qt loop with the poll's 250 ms timer
// measured over the same seconds, and its resident memory.
static void IdleProgram(benchmark::State& state)
{
    if (!sessionReady(state))
        return;
    int pid = session().pid();
    double idleSeconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        double rssBefore = residentMegabytes(pid);
        double cpuBefore = cpuSeconds(pid);
        BareQtLoop loop;
        // Past the loop's start-up.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        auto scheduledBefore = scheduledSeconds(pid);
        auto loopBefore = scheduledSeconds(loop.pid());
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        double scheduled = scheduledBetween(scheduledBefore, scheduledSeconds(pid));
        double loopScheduled = scheduledBetween(loopBefore, scheduledSeconds(loop.pid()));
        double cpu = cpuSeconds(pid) - cpuBefore;
        state.SetIterationTime(wall);
        state.counters["sched_percent_of_core"] = 100.0 * scheduled / wall;
        state.counters["floor_sched_percent_of_core"] = 100.0 * loopScheduled / wall;
        state.counters["sched_ratio"] = scheduled / loopScheduled;
        state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
        state.counters["rss_MB_before"] = rssBefore;
        state.counters["rss_MB_after"] = residentMegabytes(pid);
        // How much of it is the program's own, and its share of the pages it
        // maps with other processes (the Qt and system libraries).
        state.counters["rss_anon_MB"] = megabytes(pid, "status", "RssAnon");
        state.counters["rss_file_MB"] = megabytes(pid, "status", "RssFile");
        state.counters["pss_MB"] = megabytes(pid, "smaps_rollup", "Pss");
    }
}
BENCHMARK(IdleProgram)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
