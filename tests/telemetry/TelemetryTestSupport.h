#pragma once

#include "telemetry/TelemetryStore.h"

#include "LoopbackHttpServer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

// Collects an outbox's diagnostic messages, which arrive on its queue.
class Diagnostics {
public:
    TelemetryStore::Diagnostic sink()
    {
        return [this](const std::string& message) {
            std::lock_guard lock(mutex_);
            messages_.push_back(message);
            changed_.notify_all();
        };
    }

    std::size_t count(const std::string& message) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(messages_.begin(), messages_.end(), message));
    }

    bool waitFor(const std::string& message, std::size_t times = 1, double seconds = 10) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
            return static_cast<std::size_t>(std::count(messages_.begin(), messages_.end(), message)) >= times;
        });
    }

    std::vector<std::string> all() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> messages_;
};

// Retry timers captured instead of run, so a test fires them when it wants.
class ManualScheduler {
public:
    TelemetryStore::Scheduler scheduler()
    {
        return [this](double seconds, std::function<void()> task) {
            std::lock_guard lock(mutex_);
            delays_.push_back(seconds);
            tasks_.push_back(std::move(task));
            changed_.notify_all();
        };
    }

    bool waitForScheduled(std::size_t count, double seconds = 10) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return delays_.size() >= count; });
    }

    std::vector<double> delays() const
    {
        std::lock_guard lock(mutex_);
        return delays_;
    }

    // Runs every captured task that has not run yet.
    void fire()
    {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            due.swap(tasks_);
        }
        for (auto& task : due)
            task();
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<double> delays_;
    std::vector<std::function<void()>> tasks_;
};

// The events the collector received, in arrival order.
inline std::vector<nlohmann::json> eventsAt(const LoopbackHttpServer& server)
{
    std::vector<nlohmann::json> events;
    for (const auto& request : server.requests())
        events.push_back(nlohmann::json::parse(request.data.value_or("null"), nullptr, false));
    return events;
}

// The outbox file as the collector of a later run would see it.
inline std::optional<TelemetryStore::State> outboxAt(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return TelemetryStore::State::decode(text);
}

inline std::vector<nlohmann::json> pendingEvents(const TelemetryStore::State& state)
{
    std::vector<nlohmann::json> events;
    for (const auto& entry : state.pending)
        events.push_back(nlohmann::json::parse(entry.payload, nullptr, false));
    return events;
}
