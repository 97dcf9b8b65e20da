#include "capes/CursorCapeStore.h"
#include "controller/SystemCursorController.h"
#include "platform/runloop/ManualRunLoop.h"
#include "providers/sim/SimWindowServer.h"

#include "base/AppLog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <dlfcn.h>
#include <unistd.h>

// The controller's construction blocks launch: discovery, the reset, the
// capture of every tracked cursor, validation against the stock cursors and
// the override test with one decorated arrow.
static void ControllerConstruction(benchmark::State& state)
{
    std::string path = "/tmp/tarnwick-bench-controller-" + std::to_string(getpid()) + ".log";
    AppLog::testing::reset(path);
    ManualRunLoop loop;
    RunLoop::setMain(&loop);
    // The cape store keeps its folder under the data home; not the user's.
    std::string dataHome = "/tmp/tarnwick-bench-controller-" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    CursorCapeStore capeStore;
    static CGSRuntime runtime{std::vector<void*>{dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
    bool verified = true;
    for (auto _ : state) {
        state.PauseTiming();
        SimWindowServerReset();
        state.ResumeTiming();
        auto controller = std::make_shared<SystemCursorController>(runtime, capeStore, ActivationSwitches{});
        verified = verified && controller->isVerifiedFunctional();
    }
    if (!verified)
        state.SkipWithError("the override test failed on the simulated window server");
    RunLoop::setMain(nullptr);
    AppLog::flush();
    std::remove(path.c_str());
    std::filesystem::remove_all(dataHome);
}
BENCHMARK(ControllerConstruction)->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(5)->ReportAggregatesOnly(true);
