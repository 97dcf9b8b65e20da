// One apply as the language-change pipeline makes it: a language switch within
// one style (the lightweight path) and a change of style (the full path), on
// the simulated window server and on a private X server through the real
// provider, with a window of another client showing the theme's arrow under
// the pointer.

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "controller/SystemCursorController.h"
#include "language/CursorStyle.h"
#include "platform/runloop/ManualRunLoop.h"
#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

std::optional<CursorMarker> badge(CursorStyle style, const char* code)
{
    return marker(style, InputLanguage::make(code, code, code));
}

enum class Provider { sim, x11 };

CGSRuntime& runtimeOf(Provider provider)
{
    if (provider == Provider::sim) {
        static CGSRuntime sim{std::vector<void*>{dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
        return sim;
    }
    static CGSRuntime x11{std::vector<void*>{dlopen(TARNWICK_X11_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
    return x11;
}

// A controller of its own per benchmark; the delayed re-activations of the
// full path run between iterations, outside the timing.
struct Fixture {
    explicit Fixture(Provider provider)
    {
        RunLoop::setMain(&loop);
        controller = std::make_shared<SystemCursorController>(runtimeOf(provider), capeStore, ActivationSwitches{});
    }
    ~Fixture() { RunLoop::setMain(nullptr); }

    ManualRunLoop loop;
    CursorCapeStore capeStore;
    std::shared_ptr<SystemCursorController> controller;
};

void languageSwitch(benchmark::State& state, Provider provider)
{
    Fixture fixture(provider);
    auto& controller = *fixture.controller;
    controller.apply(badge(CursorStyle::letterBadge, "en"), "en", "letterBadge", false);
    bool english = false;
    for (auto _ : state) {
        const char* code = english ? "en" : "ru";
        if (!controller.apply(badge(CursorStyle::letterBadge, code), code, "letterBadge", false))
            state.SkipWithError("apply failed");
        english = !english;
    }
    controller.restoreOriginal();
}

// The part of a language switch before anything is read from or written to
// the cape store: every cursor decorated, registered and the arrow activated.
void registrationPass(benchmark::State& state, Provider provider)
{
    Fixture fixture(provider);
    auto& controller = *fixture.controller;
    bool english = false;
    for (auto _ : state) {
        auto marker = badge(CursorStyle::letterBadge, english ? "en" : "ru");
        RegistrationOptions options{.payloads = {.useCapePayloads = false, .forceTemplatePayloads = true,
                                                 .isLeftHanded = false},
                                    .lightweightRefresh = true};
        if (!controller.registerAndActivate(*controller.connectionID(), marker, {}, options).appliedAny)
            state.SkipWithError("nothing registered");
        english = !english;
    }
    controller.restoreOriginal();
}

void styleChange(benchmark::State& state, Provider provider)
{
    Fixture fixture(provider);
    auto& controller = *fixture.controller;
    bool letters = false;
    for (auto _ : state) {
        CursorStyle style = letters ? CursorStyle::letterBadge : CursorStyle::dotBadge;
        if (!controller.apply(badge(style, "en"), "en", std::string(rawValue(style)), false))
            state.SkipWithError("apply failed");
        letters = !letters;
        state.PauseTiming();
        fixture.loop.advance(0.5);
        state.ResumeTiming();
    }
    controller.restoreOriginal();
}

}

BENCHMARK_CAPTURE(languageSwitch, sim, Provider::sim)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(registrationPass, sim, Provider::sim)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(styleChange, sim, Provider::sim)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(languageSwitch, x11, Provider::x11)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(registrationPass, x11, Provider::x11)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(styleChange, x11, Provider::x11)
    ->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    std::string scratch = "/tmp/tarnwick-bench-apply-" + std::to_string(getpid());
    AppLog::testing::reset(scratch + ".log");
    // The cape store keeps its folder under the data home; not the user's.
    setenv("XDG_DATA_HOME", scratch.c_str(), 1);
    setenv("XCURSOR_THEME", "DMZ-White", 0);
    setenv("XCURSOR_SIZE", "24", 1);
    XvfbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    Display* client = XOpenDisplay(nullptr);
    Window window = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0, 200, 200, 0, 0, 0);
    XDefineCursor(client, window, XcursorLibraryLoadCursor(client, "left_ptr"));
    XMapRaised(client, window);
    XWarpPointer(client, None, DefaultRootWindow(client), 0, 0, 0, 0, 100, 100);
    XSync(client, False);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    XCloseDisplay(client);
    AppLog::flush();
    std::filesystem::remove(scratch + ".log");
    std::filesystem::remove_all(scratch);
    return 0;
}
