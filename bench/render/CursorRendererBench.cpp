#include "base/AppLog.h"
#include "platform/graphics/GuiApplication.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/CursorRenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

CursorMarker letterBadge()
{
    return CursorMarker{"En", Color::calibratedRGB(0.0, 0.2, 0.7), Color::white(), Color::white().withAlphaComponent(0.85),
                        18.0, 1.0};
}

CursorSnapshot stockSnapshot(StockCursor::Shape shape, const std::vector<CGFloat>& scales)
{
    StockCursor stock = StockCursor::load(shape);
    CursorSnapshot snapshot;
    snapshot.size = stock.size();
    snapshot.hotSpot = stock.hotSpot();
    snapshot.frameCount = 1;
    for (CGFloat scale : scales)
        snapshot.images.push_back(CursorRenderer::render(stock, std::nullopt, scale));
    return snapshot;
}

void decorateFourImageArrow(benchmark::State& state)
{
    CursorSnapshot arrow = stockSnapshot(StockCursor::Shape::arrow, {1, 2, 5, 10});
    CursorMarker badge = letterBadge();
    for (auto _ : state) {
        auto payload = CursorRenderer::decoratePayload(arrow, badge, CursorTemplate::arrow, false, false, false, false);
        benchmark::DoNotOptimize(payload.images.data());
    }
}
BENCHMARK(decorateFourImageArrow)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// One apply decorates every tracked cursor: 8 arrow names, 5 I-beam names,
// the pointing hand and the 41 other numbered cursors, each with an image
// at each of the given scales. Every fourth other cursor is a resize shape.
struct TrackedCursor {
    CursorSnapshot snapshot;
    std::optional<CursorTemplate> cursorTemplate;
    bool isHorizontalResize, isVerticalResize, isDiagonalResize;
};

std::vector<TrackedCursor> trackedSet(const std::vector<CGFloat>& scales)
{
    std::vector<TrackedCursor> set;
    CursorSnapshot arrow = stockSnapshot(StockCursor::Shape::arrow, scales);
    CursorSnapshot iBeam = stockSnapshot(StockCursor::Shape::iBeam, scales);
    CursorSnapshot hand = stockSnapshot(StockCursor::Shape::pointingHand, scales);
    for (int i = 0; i < 8; ++i)
        set.push_back({arrow, CursorTemplate::arrow, false, false, false});
    for (int i = 0; i < 5; ++i)
        set.push_back({iBeam, CursorTemplate::iBeam, false, false, false});
    set.push_back({hand, CursorTemplate::pointingHand, false, false, false});
    for (int i = 0; i < 41; ++i)
        set.push_back({arrow, std::nullopt, i % 4 == 1, i % 4 == 2, i % 4 == 3});
    return set;
}

void decorateTrackedSet(benchmark::State& state, std::vector<CGFloat> scales, bool isLeftHanded)
{
    std::vector<TrackedCursor> set = trackedSet(scales);
    CursorMarker badge = letterBadge();
    for (auto _ : state) {
        for (const TrackedCursor& cursor : set) {
            CursorSnapshot source = isLeftHanded ? CursorRenderer::mirrorSnapshot(cursor.snapshot) : cursor.snapshot;
            auto payload = CursorRenderer::decoratePayload(source, badge, cursor.cursorTemplate,
                                                           cursor.isHorizontalResize, cursor.isVerticalResize,
                                                           cursor.isDiagonalResize, isLeftHanded);
            benchmark::DoNotOptimize(payload.images.data());
        }
    }
    state.counters["cursors"] = static_cast<double>(set.size());
}
BENCHMARK_CAPTURE(decorateTrackedSet, oneAndTwoPixelsPerPoint, std::vector<CGFloat>{1, 2}, false)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(decorateTrackedSet, oneAndTwoPixelsPerPointLeftHanded, std::vector<CGFloat>{1, 2}, true)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
// What the X11 window server hands over for a theme such as Adwaita: one
// image for each of its sizes, 24, 32, 48, 64 and 96 pixels.
BENCHMARK_CAPTURE(decorateTrackedSet, themeSizes, std::vector<CGFloat>{1, 4.0 / 3, 2, 8.0 / 3, 4}, false)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(decorateTrackedSet, fourScales, std::vector<CGFloat>{1, 2, 5, 10}, false)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void mirrorFourImageArrow(benchmark::State& state)
{
    CursorSnapshot arrow = stockSnapshot(StockCursor::Shape::arrow, {1, 2, 5, 10});
    for (auto _ : state)
        benchmark::DoNotOptimize(CursorRenderer::mirrorSnapshot(arrow).images.data());
}
BENCHMARK(mirrorFourImageArrow)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}

int main(int argc, char** argv)
{
    // Text needs Qt's GUI application; made before timing starts. CPU time
    // is counted for the whole process, since Qt may hand parts of a fill to
    // its thread pool.
    GuiApplication::ensure();
    // Mirroring logs; the lines go to a file of this run, not the program's.
    std::string log = "/tmp/tarnwick-render-bench-" + std::to_string(getpid()) + ".log";
    AppLog::testing::reset(log);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    AppLog::flush();
    std::remove(log.c_str());
    return 0;
}
