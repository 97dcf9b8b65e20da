#include "TestKeyboard.h"
#include "language/LanguageDetector.h"
#include "platform/input/XkbInputSourceService.h"
#include "support/XvfbServer.h"

#include <X11/XKBlib.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

// A private X server with the layouts us, ru and de, group 2 selected.
struct XkbFixture {
    XvfbServer server;
    std::unique_ptr<TestKeyboard> keyboard;
    std::unique_ptr<XkbInputSourceService> sources;

    XkbFixture()
    {
        keyboard = std::make_unique<TestKeyboard>(server.display());
        keyboard->setLayouts("us,ru,de");
        keyboard->lockGroup(1);
        sources = std::make_unique<XkbInputSourceService>(server.display());
    }
};

XkbFixture& fixture()
{
    static XkbFixture shared;
    return shared;
}

// The detector runs four times a second for the life of the process.
void detectOnXkb(benchmark::State& state)
{
    XkbFixture& fixture = ::fixture();
    if (!fixture.server.running()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    LanguageDetector detector(*fixture.sources);
    if (detector.detect().language.code() != "ru") {
        state.SkipWithError("the keyboard is not on the Russian group");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(detector.detect());
}
BENCHMARK(detectOnXkb)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

// The floor under detectOnXkb: the one round trip to the X server that every
// detection makes, with nothing else.
void xkbStateRoundTrip(benchmark::State& state)
{
    Display* display = XOpenDisplay(fixture().server.display().c_str());
    if (!display) {
        state.SkipWithError("no X display");
        return;
    }
    XkbStateRec xkbState{};
    for (auto _ : state)
        benchmark::DoNotOptimize(XkbGetState(display, XkbUseCoreKbd, &xkbState));
    XCloseDisplay(display);
}
BENCHMARK(xkbStateRoundTrip)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

void normalizeTags(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(InputLanguage::normalizedCode(" zh_Hant-TW "));
        benchmark::DoNotOptimize(InputLanguage::normalizedCode("en-US"));
    }
}
BENCHMARK(normalizeTags)->Repetitions(10)->ReportAggregatesOnly(true);

}
