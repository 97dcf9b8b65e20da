// One tick of the 0.25 s input-source poll that finds nothing changed, in a
// delegate that has launched on a private X server with the x11 provider and
// the XKB input source: the whole refreshStateAndApplyCursor(false, "poll")
// after the first apply, which detects the language, sees the same code and
// source, and updates the tray title and badge. The detection alone is
// measured beside it.

#include "accessibility/CursorAccessibilityAppearanceController.h"
#include "app/TarnwickTrayApp.h"
#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "platform/autostart/LaunchAgent.h"
#include "platform/defaults/UserDefaults.h"
#include "platform/http/HttpSession.h"
#include "platform/input/InputSourceService.h"
#include "platform/provider/WindowServerProvider.h"
#include "platform/runloop/ManualRunLoop.h"
#include "runtime/CGSRuntime.h"
#include "telemetry/TelemetryReporter.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Made before anything connects to it, so that it goes last at exit, after
// the program's own connections have closed.
XvfbServer& privateServer()
{
    static XvfbServer server;
    return server;
}

// Everything the program has once launching has finished; the run loop's
// clock stands still, so no timer of the delegate runs during a measurement.
class LaunchedDelegate {
public:
    LaunchedDelegate()
    {
        XvfbServer& server = privateServer();
        if (!server.running())
            return;
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("TARNWICK_WINDOW_SERVER", TARNWICK_X11_PROVIDER, 1);
        setenv("TARNWICK_INPUT_SOURCE", "xkb", 1);
        setenv("XCURSOR_THEME", XvfbServer::cursorTheme().c_str(), 1);
        setenv("XCURSOR_SIZE", "24", 1);
        // No tray host here: the item stays out of a tray, as the program
        // does on a desktop without one.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (std::system(("setxkbmap -display " + server.display() + " -layout us,ru").c_str()) != 0)
            return;
        AppLog::testing::reset(logPath_);
        if (!WindowServerProvider::loadFromEnvironment())
            return;
        application_ = std::make_unique<QApplication>(argc_, argv_);
        RunLoop::setMain(&loop_);
        inputSources_ = InputSourceService::fromEnvironment();
        detector_ = std::make_unique<LanguageDetector>(*inputSources_);
        telemetryReporter_ = std::make_unique<TelemetryReporter>(defaults_, TelemetryReporter::Options{});
        accessibilityAppearanceController_ = std::make_unique<CursorAccessibilityAppearanceController>();
        launchAgent_ = LaunchAgent::forThisDesktop();
        delegate_ = std::make_unique<TarnwickTrayApp>(AppServices{
            .runLoop = loop_,
            .inputSources = *inputSources_,
            .defaults = defaults_,
            .telemetryReporter = *telemetryReporter_,
            .accessibilityAppearanceController = *accessibilityAppearanceController_,
            .runtime = CGSRuntime::shared(),
            .capeStore = &CursorCapeStore::shared,
            .httpSession = HttpSession::shared(),
            .launchAgent = *launchAgent_,
            .enableCursorSeedWatchdog = false,
            .activationSwitches = {},
        });
        delegate_->applicationDidFinishLaunching();
        loop_.runPending();
        launched_ = delegate_->pipeline().lastLanguageCode() == "en";
    }

    ~LaunchedDelegate()
    {
        if (delegate_)
            delegate_->applicationWillTerminate();
        delegate_.reset();
        RunLoop::setMain(nullptr);
        AppLog::flush();
        std::remove(logPath_.c_str());
    }

    bool launched() const { return launched_; }
    TarnwickTrayApp& delegate() { return *delegate_; }
    const LanguageDetector& detector() const { return *detector_; }

private:
    TempHome home_;
    std::string logPath_ = "/tmp/tarnwick-bench-e2e-" + std::to_string(getpid()) + ".log";
    int argc_ = 1;
    char name_[9] = "tarnwick";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
    ManualRunLoop loop_;
    UserDefaults& defaults_ = UserDefaults::standard();
    std::unique_ptr<InputSourceService> inputSources_;
    std::unique_ptr<LanguageDetector> detector_;
    std::unique_ptr<TelemetryReporter> telemetryReporter_;
    std::unique_ptr<CursorAccessibilityAppearanceController> accessibilityAppearanceController_;
    std::unique_ptr<LaunchAgent> launchAgent_;
    std::unique_ptr<TarnwickTrayApp> delegate_;
    bool launched_ = false;
};

LaunchedDelegate& launched()
{
    static LaunchedDelegate instance;
    return instance;
}

}

static void PollTickWithNothingChanged(benchmark::State& state)
{
    if (!launched().launched()) {
        state.SkipWithError("the delegate did not launch with English on the private X server");
        return;
    }
    TarnwickTrayApp& delegate = launched().delegate();
    for (auto _ : state)
        delegate.pipeline().refreshStateAndApplyCursor(false, "poll");
    if (delegate.pipeline().lastLanguageCode() != "en")
        state.SkipWithError("a poll changed the language");
}
BENCHMARK(PollTickWithNothingChanged)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

static void DetectLanguage(benchmark::State& state)
{
    if (!launched().launched()) {
        state.SkipWithError("the delegate did not launch with English on the private X server");
        return;
    }
    const LanguageDetector& detector = launched().detector();
    for (auto _ : state)
        benchmark::DoNotOptimize(detector.detect());
}
BENCHMARK(DetectLanguage)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
