// What following an input method framework costs the program: one poll tick
// (the detection the pipeline makes four times a second) through IBus, whose
// state arrives with its signal, and through Fcitx 5, which is asked at each
// tick on the watcher thread without waiting for the answer; the CPU this process spends on it at
// the poll's pace with nothing changing; and the CPU of the real program,
// idle, with each source. Real daemons on a private session bus and X
// server, as in the tests.

#include "TestKeyboard.h"
#include "language/LanguageDetector.h"
#include "platform/input/EnsureQtApplication.h"
#include "platform/input/Fcitx5Watcher.h"
#include "platform/input/IbusWatcher.h"
#include "platform/input/InputMethodInputSourceService.h"
#include "platform/input/XkbInputSourceService.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"
#include "support/dbus/InputMethodClient.h"
#include "support/dbus/PrivateSessionBus.h"

#include <QDBusConnection>
#include <benchmark/benchmark.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

const char* const fcitxProfile = "[Groups/0]\nName=Default\nDefault Layout=us\nDefaultIM=keyboard-us\n\n"
                                 "[Groups/0/Items/0]\nName=keyboard-us\n\n[Groups/0/Items/1]\nName=unikey\n\n"
                                 "[GroupOrder]\n0=Default\n";

// A focused input context of this process, with Unikey selected for it.
bool focusFcitxUnikey()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    return InputMethodClient::focusFcitxContext(session, "bench") &&
           InputMethodClient::selectFcitxInputMethod(session, "unikey");
}

// One X server (keymap us), session bus and home for the whole run; one
// daemon at a time, since Fcitx 5 also takes the IBus name.
struct Desktop {
    XvfbServer server;
    PrivateSessionBus bus;
    TempHome home;
    ManualRunLoop loop;
    std::unique_ptr<ChildProcess> daemon;
    std::string daemonName;
    std::unique_ptr<InputMethodInputSourceService> service;

    Desktop()
    {
        // The log file is shared with the program's runs.
        setenv("ORVELLE_ENABLE_LOGS", "0", 1);
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        unsetenv("IBUS_ADDRESS");
        RunLoop::setMain(&loop);
        ensureQtApplication();
        InputMethodClient::registerTypes();
        TestKeyboard(server.display()).setLayouts("us");
        TempHome::writeFile(home.configHome() + "/fcitx5/profile", fcitxProfile);
    }
    ~Desktop() { stop(); }

    void stop()
    {
        service.reset();
        if (daemon) {
            daemon->signal(SIGKILL);
            daemon->wait(5.0);
        }
        daemon.reset();
        daemonName.clear();
    }
    // The source reading Unikey through the named framework, or nothing.
    InputMethodInputSourceService* unikeyThrough(const std::string& name)
    {
        if (daemonName == name)
            return service.get();
        stop();
        daemonName = name;
        std::unique_ptr<InputMethodWatcher> watcher;
        if (name == "ibus") {
            daemon = std::make_unique<ChildProcess>(std::vector<std::string>{
                "/usr/bin/ibus-daemon", "--panel=disable", "--xim=false", "--emoji-extension=disable"});
            if (!waitUntil(10.0, [] { return InputMethodClient::selectIbusEngine("Unikey"); }))
                return nullptr;
            watcher = std::make_unique<IbusWatcher>();
        } else {
            daemon = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/fcitx5", "--disable=wayland"});
            if (!waitUntil(10.0, [] { return focusFcitxUnikey(); }))
                return nullptr;
            watcher = std::make_unique<Fcitx5Watcher>();
        }
        service = std::make_unique<InputMethodInputSourceService>(std::move(watcher),
                                                                  std::make_unique<XkbInputSourceService>(), 5.0);
        LanguageDetector detector(*service);
        if (!waitUntil(5.0, [&] { return detector.detect().language.code() == "vi"; }))
            return nullptr;
        return service.get();
    }
};

Desktop& desktop()
{
    static Desktop shared;
    return shared;
}

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The detection of one poll tick, on the main thread. Through Fcitx 5 a tick
// also hands the watcher a poll, one at a time; the ticks are spaced so that
// the poll before is done, as it is at the poll's pace, and the spacing is
// not counted.
void pollTick(benchmark::State& state, const std::string& framework)
{
    InputMethodInputSourceService* service = desktop().unikeyThrough(framework);
    if (!service) {
        state.SkipWithError(("no Unikey through " + framework).c_str());
        return;
    }
    LanguageDetector detector(*service);
    bool spaced = framework == "fcitx5";
    for (auto _ : state) {
        if (spaced) {
            state.PauseTiming();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(detector.detect());
    }
}
BENCHMARK_CAPTURE(pollTick, ibus, std::string("ibus"))
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(pollTick, fcitx5, std::string("fcitx5"))
    ->Iterations(200)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// The process's CPU, every thread counted, over 20 s of ticks at the poll's
// 0.25 s pace with nothing changing, in percent of one core. The run without
// a source is the floor: waking four times a second costs on its own.
void idleCpu(benchmark::State& state, const std::string& framework)
{
    InputMethodInputSourceService* service = framework.empty() ? nullptr : desktop().unikeyThrough(framework);
    if (!framework.empty() && !service) {
        state.SkipWithError(("no Unikey through " + framework).c_str());
        return;
    }
    constexpr int ticks = 80;
    double percent = 0, mainThreadSeconds = 0;
    for (auto _ : state) {
        double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        auto wallBefore = std::chrono::steady_clock::now();
        for (int tick = 0; tick < ticks; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            desktop().loop.runPending();
            double tickBefore = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            if (service)
                benchmark::DoNotOptimize(LanguageDetector(*service).detect());
            mainThreadSeconds += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - tickBefore;
        }
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        percent = 100.0 * (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) / wall;
    }
    state.counters["cpu_percent"] = percent;
    // A tick at this pace always finds the watcher's last poll done, so it
    // also hands over the next: the main thread's whole share.
    state.counters["main_us_per_tick"] = 1e6 * mainThreadSeconds / ticks;
}
BENCHMARK_CAPTURE(idleCpu, no_source, std::string())->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(idleCpu, ibus, std::string("ibus"))->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(idleCpu, fcitx5, std::string("fcitx5"))->Iterations(1)->Unit(benchmark::kMillisecond);

// The CPU time of every thread of a process so far, from the scheduler's
// own account, which is finer than the clock ticks of /proc/PID/stat.
double processCpuSeconds(int pid)
{
    double total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds)
            total += nanoseconds / 1e9;
    }
    return total;
}

// The real program over 60 s with nothing changing, every thread counted, in
// percent of one core: the poll, the pipeline's idle tick and the input
// source together. The xkb run is the floor the input methods add to.
void programIdleCpu(benchmark::State& state, const std::string& source)
{
    if (source != "xkb" && !desktop().unikeyThrough(source)) {
        state.SkipWithError(("no Unikey through " + source).c_str());
        return;
    }
    TarnwickProgram program;
    auto child = program.launch({{"TARNWICK_INPUT_SOURCE", source}, {"ORVELLE_ENABLE_LOGS", "1"}});
    if (!program.waitForLog("Apply requested trigger=launch", 30)) {
        state.SkipWithError("the program did not start");
        return;
    }
    // The launch's stabilization re-applies end within 2 s.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    double percent = 0;
    for (auto _ : state) {
        double cpuBefore = processCpuSeconds(child->pid());
        auto wallBefore = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(60));
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        percent = 100.0 * (processCpuSeconds(child->pid()) - cpuBefore) / wall;
    }
    state.counters["cpu_percent"] = percent;
    child->signal(SIGTERM);
    child->wait(10);
}
BENCHMARK_CAPTURE(programIdleCpu, xkb, std::string("xkb"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(programIdleCpu, ibus, std::string("ibus"))->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(programIdleCpu, fcitx5, std::string("fcitx5"))->Iterations(1)->Unit(benchmark::kSecond);

}
