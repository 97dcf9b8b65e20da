#include "runtime/CGSRuntime.h"

#include "base/AppLog.h"
#include "providers/sim/SimWindowServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <dlfcn.h>

namespace {

// One runtime over the simulated server; its lines go nowhere, as with
// logging switched off.
CGSRuntime& runtime()
{
    static CGSRuntime* instance = [] {
        setenv("ORVELLE_ENABLE_LOGS", "0", 1);
        AppLog::testing::reset("/dev/null");
        return new CGSRuntime(std::vector<void*>{dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL)});
    }();
    return *instance;
}

CFRef<CGImageRef> cursorImage(size_t side, uint32_t seed)
{
    std::vector<uint32_t> pixels(side * side);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (i % 3 == 0 ? 0xFF000000u : 0x80000000u) | (seed * 2654435761u + uint32_t(i)) % 0x800000u;
    return CFRef<CGImageRef>::adopt(CGImageCreate(side, side, 8, 32, side * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

CursorSnapshot snapshot(std::uint64_t frames)
{
    CursorSnapshot result;
    result.size = {32, 32};
    result.hotSpot = {4, 4};
    result.frameCount = frames;
    return result;
}

}

// The global cursor check made before and after every apply: size query,
// copy of 32 x 32 x 4 bytes, FNV-1a over them.
static void CurrentCursorFingerprint32x32(benchmark::State& state)
{
    CGSRuntime& r = runtime();
    SimWindowServerReset();
    const CGSConnectionID connection = *r.mainConnectionID();
    r.registerCursor(connection, "com.example.Bench", snapshot(1), {cursorImage(32, 1)}, true, true);
    r.setRegisteredCursorNow(connection, "com.example.Bench");
    for (auto _ : state)
        benchmark::DoNotOptimize(r.currentCursorFingerprint(connection));
}
BENCHMARK(CurrentCursorFingerprint32x32);

// One role of an apply: a decorated payload of four images (1x and 2x of two
// frames) through the multi-frame and the single-image registration.
static void RegisterCursorFourImages(benchmark::State& state)
{
    CGSRuntime& r = runtime();
    SimWindowServerReset();
    const CGSConnectionID connection = *r.mainConnectionID();
    std::vector<CFRef<CGImageRef>> images = {cursorImage(32, 1), cursorImage(64, 2), cursorImage(32, 3),
                                             cursorImage(64, 4)};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            r.registerCursor(connection, "com.apple.coregraphics.Arrow", snapshot(4), images, true, true));
}
BENCHMARK(RegisterCursorFourImages);
