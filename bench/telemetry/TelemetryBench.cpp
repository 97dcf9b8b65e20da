#include "platform/defaults/UserDefaults.h"
#include "telemetry/TelemetryReporter.h"
#include "telemetry/TelemetryStore.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// An event of the size the reporter produces (about 900 bytes of JSON).
std::string typicalPayload(int n)
{
    nlohmann::json event = {{"eventId", std::to_string(n)}, {"eventType", "session_alive"}, {"filler", std::string(800, 'x')}};
    return event.dump();
}

TelemetryStore::State fullOutbox()
{
    TelemetryStore::State state;
    state.installFirstSeenAt = "2026-01-31T09:15:00Z";
    for (int n = 0; n < 512; ++n)
        state.pending.push_back({std::to_string(n), 790000000.0 + n, typicalPayload(n)});
    return state;
}

std::string scratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX").string();
    return mkdtemp(pattern.data());
}

TelemetryStore::Transport neverAnswers()
{
    return [](const HttpSession::Request&, TelemetryStore::Completion) {};
}

}

// The whole outbox is rewritten on every change; these are the two halves of
// that cost for a queue at its entry limit.
static void BM_EncodeFullOutbox(benchmark::State& state)
{
    TelemetryStore::State outbox = fullOutbox();
    for (auto _ : state)
        benchmark::DoNotOptimize(outbox.encode());
    state.counters["bytes"] = static_cast<double>(outbox.encode().size());
}
BENCHMARK(BM_EncodeFullOutbox)->Unit(benchmark::kMillisecond);

static void BM_DecodeFullOutbox(benchmark::State& state)
{
    std::string text = fullOutbox().encode();
    for (auto _ : state)
        benchmark::DoNotOptimize(TelemetryStore::State::decode(text));
}
BENCHMARK(BM_DecodeFullOutbox)->Unit(benchmark::kMillisecond);

// One event stamped, queued and durably saved (atomic write with fsync) into
// an outbox that is already full, measured until the save is done.
static void BM_EnqueueIntoFullOutboxAndSave(benchmark::State& state)
{
    std::string folder = scratchFolder();
    TelemetryStore::Options options;
    options.fileURL = folder + "/outbox.json";
    options.endpoint = "http://127.0.0.1:9/c";
    options.transport = neverAnswers();
    {
        TelemetryStore store(std::move(options));
        for (int n = 0; n < 512; ++n)
            store.enqueue({{"eventType", "fill"}, {"filler", std::string(800, 'x')}});
        store.commitPending(60);
        for (auto _ : state) {
            store.enqueue({{"eventType", "bench"}, {"filler", std::string(800, 'x')}});
            store.commitPending(60);
        }
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_EnqueueIntoFullOutboxAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a menu action or a layout switch costs the main thread: composing the
// event (which reads the version keys from the settings file) and handing it over.
static void BM_TrackEventOnTheMainThread(benchmark::State& state)
{
    std::string folder = scratchFolder();
    setenv("HOME", folder.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    UserDefaults defaults(folder + "/settings.plist");
    {
        TelemetryReporter reporter(defaults, {"http://127.0.0.1:9/c", folder + "/kr1", neverAnswers()});
        for (auto _ : state)
            reporter.trackEvent("style_changed", {{"style", "dotBadge"}});
    }
    std::filesystem::remove_all(folder);
}
// Bounded: the outbox saves every event behind the measured loop.
BENCHMARK(BM_TrackEventOnTheMainThread)->Unit(benchmark::kMicrosecond)->Iterations(500);
