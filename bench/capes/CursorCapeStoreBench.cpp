// What the cape cache costs an apply: the load at its start and the save at
// its end, for a set the size of a real one (40 cursors, five theme sizes each).

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "platform/graphics/PngCodec.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

// An arrow-like shape with a round badge, on a transparent square.
CFRef<CGImageRef> cursorImage(std::size_t side)
{
    std::vector<std::uint32_t> pixels(side * side, 0);
    for (std::size_t y = 0; y < side; ++y) {
        for (std::size_t x = 0; x < side; ++x) {
            double u = static_cast<double>(x) / side, v = static_cast<double>(y) / side;
            double dx = u - 0.75, dy = v - 0.75;
            if (dx * dx + dy * dy < 0.04)
                pixels[y * side + x] = 0xFF0033B3;
            else if (u < v * 0.6 && v < 0.7)
                pixels[y * side + x] = u > v * 0.6 - 0.08 ? 0xFFFFFFFF : 0xFF000000;
        }
    }
    return CFRef<CGImageRef>::adopt(CGImageCreate(side, side, 8, 32, side * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

CursorCapeStore::Cursors realisticSet()
{
    std::vector<CFRef<CGImageRef>> images;
    for (std::size_t side : {24, 32, 48, 64, 96})
        images.push_back(cursorImage(side));
    CursorCapeStore::Cursors cursors;
    for (int i = 0; i < 40; ++i) {
        CursorSnapshot snapshot;
        snapshot.size = {24, 24};
        snapshot.hotSpot = {3, 2};
        snapshot.frameCount = 1;
        snapshot.images = images;
        cursors["com.apple.cursor." + std::to_string(i)] = {snapshot, images};
    }
    return cursors;
}

struct BenchHome {
    BenchHome()
    {
        path = (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX").string();
        mkdtemp(path.data());
        setenv("HOME", path.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        setenv("ORVELLE_ENABLE_LOGS", "0", 1);
        AppLog::testing::reset(path + "/tarnwick.log");
    }
    ~BenchHome() { std::filesystem::remove_all(path); }
    std::string path;
};

void BM_SaveUnchangedCape(benchmark::State& state)
{
    BenchHome home;
    CursorCapeStore store;
    auto cursors = realisticSet();
    store.saveCape("en", "letterBadge", cursors);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.saveCape("en", "letterBadge", cursors));
}
BENCHMARK(BM_SaveUnchangedCape)->Unit(benchmark::kMillisecond);

void BM_SaveNewCape(benchmark::State& state)
{
    BenchHome home;
    CursorCapeStore store;
    auto cursors = realisticSet();
    for (auto _ : state) {
        state.PauseTiming();
        store.removeAllCapes();
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.saveCape("en", "letterBadge", cursors));
    }
}
BENCHMARK(BM_SaveNewCape)->Unit(benchmark::kMillisecond);

void BM_LoadCape(benchmark::State& state)
{
    BenchHome home;
    CursorCapeStore store;
    auto path = store.saveCape("en", "system", realisticSet());
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(*path));
    for (auto _ : state)
        benchmark::DoNotOptimize(store.loadCape("en", "system"));
}
BENCHMARK(BM_LoadCape)->Unit(benchmark::kMillisecond);

void BM_LoadMissingCape(benchmark::State& state)
{
    BenchHome home;
    CursorCapeStore store;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.loadCape("en", "letterBadge"));
}
BENCHMARK(BM_LoadMissingCape)->Unit(benchmark::kMicrosecond);

void BM_EncodePng96(benchmark::State& state)
{
    auto image = cursorImage(96);
    for (auto _ : state)
        benchmark::DoNotOptimize(PngCodec::encode(image.get()));
}
BENCHMARK(BM_EncodePng96)->Unit(benchmark::kMicrosecond);

}
