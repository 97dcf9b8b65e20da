#include "base/AppLog.h"
#include "platform/files/LogFile.h"
#include "platform/syslog/SystemLog.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

// What a caller pays for one line: the timestamp, the line and the hand-off
// to the writer queue. The writing itself happens on the queue.
static void AppLogInfo(benchmark::State& state)
{
    std::string path = "/tmp/tarnwick-bench-" + std::to_string(getpid()) + ".log";
    AppLog::connect(std::make_unique<LogFile>(), std::make_unique<SystemLog>());
    AppLog::testing::reset(path);
    for (auto _ : state)
        AppLog::info("Input source poll tick language=en source=xkb:us changed=false");
    AppLog::flush();
    std::remove(path.c_str());
}
BENCHMARK(AppLogInfo)->Iterations(20000);
