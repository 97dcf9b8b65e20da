#pragma once

#include "platform/http/HttpSession.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A persistent, strictly ordered outbox for telemetry events. Each event is
// stamped with the outbox's bookkeeping, saved to a file with the rest of the
// queue, and delivered one at a time, oldest first; it leaves the queue only
// when the collector acknowledges that very event. One process at a time owns
// a file, through an exclusive lock beside it. Whenever gapless ordering
// cannot be vouched for, the diagnostics say "ordering not claimed" and the
// events say so too.
//
// Every public operation only schedules work on the outbox's own serial
// queue, except commitPending, which also waits for it (boundedly).
class TelemetryStore {
public:
    struct Entry {
        std::string id;
        // Seconds since 2001-01-01 00:00:00 UTC.
        double createdAt = 0;
        // The event as compact JSON text.
        std::string payload;
    };

    // The part that is saved.
    struct State {
        std::string installFirstSeenAt;
        std::string installDateProvenance = "unknown";
        std::int64_t eventSequence = 0;
        std::int64_t activityCount = 0;
        std::int64_t droppedEvents = 0;
        bool orderingReliable = true;
        std::deque<Entry> pending;

        // The outbox file's text: one JSON object, payloads in padded Base64.
        std::string encode() const;
        // Nothing unless every key is present with the right type.
        static std::optional<State> decode(std::string_view text);
    };

    using Completion = std::function<void(bool acknowledged)>;
    using Transport = std::function<void(const HttpSession::Request& request, Completion completion)>;
    using Diagnostic = std::function<void(const std::string& message)>;
    // Runs the task once, the given number of seconds from now, on any thread.
    using Scheduler = std::function<void(double seconds, std::function<void()> task)>;

    struct Options {
        std::string fileURL;
        std::string endpoint;
        std::string firstSeenAt;
        bool isFirstLaunch = false;
        std::int64_t maxEntries = 512;
        std::int64_t maxBytes = 2097152;
        double retention = 604800;
        double retryDelay = 60;
        // How events travel: networkTransport over the program's session, or
        // a stand-in.
        Transport transport;
        Diagnostic diagnostic;
        // Empty: a timer on the outbox's queue.
        Scheduler scheduler;
    };

    // Returns at once; the outbox opens its file on its queue.
    explicit TelemetryStore(Options options);
    // Runs the work already scheduled, then releases the lock.
    ~TelemetryStore();
    TelemetryStore(const TelemetryStore&) = delete;
    TelemetryStore& operator=(const TelemetryStore&) = delete;

    void enqueue(nlohmann::json event);
    void recordObservedLayoutChange();
    // Saves the queue and waits for that save, at most timeout seconds.
    void commitPending(double timeout);

    // Sends the request over HTTP and acknowledges it only when the collector
    // confirms the event named in its "data" item.
    static Transport networkTransport(HttpSession& session);
    // Whether an answer confirms the event: no error, an HTTP status from 200
    // to 299, and a body that is a JSON object with "ok": true and that
    // event's "eventId".
    static bool acknowledges(const std::optional<std::string>& data, std::optional<long> statusCode,
                             const std::optional<std::string>& error, std::string_view expectedEventId);

    // Seconds since 2001-01-01 00:00:00 UTC, the outbox's time base.
    static double referenceTimeNow();

    static constexpr double requestTimeout = 15;

private:
    class Core;
    std::unique_ptr<Core> core_;
};
