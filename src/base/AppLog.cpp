#include "base/AppLog.h"

#include "base/Text.h"
#include "platform/runloop/SerialQueue.h"
#include "platform/syslog/SystemLog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

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

struct State {
    explicit State(std::string logPath)
        : loggingEnabled(loggingFromEnvironment()),
          verboseEnabled(verboseFromEnvironment(loggingEnabled)),
          path(std::move(logPath)),
          queue("com.tarnwick.log.write")
    {
    }

    const bool loggingEnabled;
    const bool verboseEnabled;
    const std::string path;
    SerialQueue queue;
};

std::atomic<State*> current{nullptr};
std::once_flag created;

State& state()
{
    std::call_once(created, [] { current = new State("/tmp/Tarnwick.log"); });
    return *current.load(std::memory_order_acquire);
}

// "2026-01-31T09:05:07.123Z"
std::string timestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_nsec / 1000000));
    return text;
}

// The log sits in a world-writable folder: never follow a link planted there
// and never write into a file that somebody else owns.
void appendLine(const std::string& path, const std::string& line)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid()) {
        [[maybe_unused]] auto written = ::write(fd, line.data(), line.size());
    }
    close(fd);
}

void removeOwnFile(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || st.st_uid != geteuid())
        return;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        unlink(path.c_str());
}

void write(const char* level, SystemLog::Type type, std::string_view message)
{
    State& log = state();
    if (!log.loggingEnabled)
        return;
    std::string line = timestamp();
    line.reserve(line.size() + message.size() + 10);
    line.append(" [").append(level).append("] ").append(message).push_back('\n');
    std::size_t textStart = line.size() - 1 - message.size();
    log.queue.async([&log, type, line = std::move(line), textStart] {
        appendLine(log.path, line);
        SystemLog::send(type, std::string_view(line).substr(textStart, line.size() - 1 - textStart));
    });
}

}

void debug(std::string_view message)
{
    if (state().verboseEnabled)
        write("DEBUG", SystemLog::Type::debug, message);
}

void info(std::string_view message)
{
    write("INFO", SystemLog::Type::info, message);
}

void warn(std::string_view message)
{
    write("WARN", SystemLog::Type::error, message);
}

void error(std::string_view message)
{
    write("ERROR", SystemLog::Type::error, message);
}

void clearFile()
{
    State& log = state();
    if (log.loggingEnabled)
        log.queue.sync([&log] { removeOwnFile(log.path); });
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
