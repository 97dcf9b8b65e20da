#include "base/AppLog.h"

#include "base/SerialQueue.h"
#include "base/Text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace AppLog {

namespace {

bool loggingFromEnvironment()
{
    const char* value = std::getenv("ORVELLE_ENABLE_LOGS");
    if (!value)
        return true;
    return std::string(value) == "1" || lowercased(value) == "true";
}

bool verboseFromEnvironment(bool logging)
{
    const char* value = std::getenv("ORVELLE_VERBOSE");
    if (!logging || !value)
        return false;
    return std::string(value) == "1" || lowercased(value) == "true";
}

// Lets a test run of the program log to a file of its own.
std::string pathFromEnvironment()
{
    const char* value = std::getenv("TARNWICK_LOG_FILE");
    return value && value[0] ? value : "/tmp/Tarnwick.log";
}

struct State {
    explicit State(std::string logPath)
        : loggingEnabled(loggingFromEnvironment()),
          verboseEnabled(verboseFromEnvironment(loggingEnabled)),
          path(std::move(logPath)),
          queue("com.tarnwick.log.write", std::chrono::milliseconds(2))
    {
    }

    struct Line {
        SystemLogOutput::Type type;
        std::string text;
        std::size_t messageStart;
    };

    const bool loggingEnabled;
    const bool verboseEnabled;
    const std::string path;
    // Lines written since the queue last took them: a switch writes dozens in
    // a few milliseconds, and the file is opened once for all that wait.
    std::mutex pendingMutex;
    std::vector<Line> pending;
    SerialQueue queue;
};

std::atomic<State*> current{nullptr};
std::once_flag created;
// Never freed: lines may still be on their way when the program ends.
std::atomic<LogFileOutput*> fileOutput{nullptr};
std::atomic<SystemLogOutput*> systemOutput{nullptr};

State& state()
{
    std::call_once(created, [] { current = new State(pathFromEnvironment()); });
    return *current.load(std::memory_order_acquire);
}

// "2026-01-31T09:05:07.123Z". A switch writes dozens of lines within one
// second: the date and time are formatted once per second and thread.
std::string timestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    thread_local time_t formattedSecond = -1;
    thread_local char secondText[64];
    if (now.tv_sec != formattedSecond) {
        tm utc{};
        gmtime_r(&now.tv_sec, &utc);
        std::snprintf(secondText, sizeof secondText, "%04d-%02d-%02dT%02d:%02d:%02d.", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        formattedSecond = now.tv_sec;
    }
    auto milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    std::string text = secondText;
    text += static_cast<char>('0' + milliseconds / 100);
    text += static_cast<char>('0' + milliseconds / 10 % 10);
    text += static_cast<char>('0' + milliseconds % 10);
    text += 'Z';
    return text;
}

void writePending(State& log)
{
    std::vector<State::Line> lines;
    {
        std::lock_guard lock(log.pendingMutex);
        lines.swap(log.pending);
    }
    if (LogFileOutput* file = fileOutput.load(std::memory_order_acquire)) {
        std::string text;
        for (const auto& line : lines)
            text += line.text;
        file->append(log.path, text);
    }
    if (SystemLogOutput* system = systemOutput.load(std::memory_order_acquire)) {
        for (const auto& line : lines) {
            std::string_view text = line.text;
            system->send(line.type, text.substr(line.messageStart, text.size() - 1 - line.messageStart));
        }
    }
}

void write(const char* level, SystemLogOutput::Type type, std::string_view message)
{
    State& log = state();
    if (!log.loggingEnabled)
        return;
    std::string line = timestamp();
    line.reserve(line.size() + message.size() + 10);
    line.append(" [").append(level).append("] ").append(message).push_back('\n');
    std::size_t messageStart = line.size() - 1 - message.size();
    bool first = false;
    {
        std::lock_guard lock(log.pendingMutex);
        first = log.pending.empty();
        log.pending.push_back({type, std::move(line), messageStart});
    }
    // Later lines join the ones waiting and go with them.
    if (first)
        log.queue.async([&log] { writePending(log); });
}

}

void connect(std::unique_ptr<LogFileOutput> file, std::unique_ptr<SystemLogOutput> system)
{
    fileOutput.store(file.release(), std::memory_order_release);
    systemOutput.store(system.release(), std::memory_order_release);
}

void debug(std::string_view message)
{
    if (state().verboseEnabled)
        write("DEBUG", SystemLogOutput::Type::debug, message);
}

void info(std::string_view message)
{
    write("INFO", SystemLogOutput::Type::info, message);
}

void warn(std::string_view message)
{
    write("WARN", SystemLogOutput::Type::error, message);
}

void error(std::string_view message)
{
    write("ERROR", SystemLogOutput::Type::error, message);
}

void clearFile()
{
    State& log = state();
    if (log.loggingEnabled)
        log.queue.sync([&log] {
            if (LogFileOutput* file = fileOutput.load(std::memory_order_acquire))
                file->remove(log.path);
        });
}

bool verboseEnabled()
{
    return state().verboseEnabled;
}

const std::string& filePath()
{
    return state().path;
}

void flush()
{
    state().queue.sync([] {});
}

namespace testing {

void reset()
{
    reset(pathFromEnvironment());
}

void reset(const std::string& path)
{
    State& old = state();
    old.queue.sync([] {});
    current.store(new State(path), std::memory_order_release);
    // The old state is left alive: a thread that read it just before the swap
    // may still be enqueueing on its queue.
}

}

}
