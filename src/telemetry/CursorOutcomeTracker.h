#pragma once

#include <optional>
#include <string>

// Decides which cursor outcomes are worth an event: the first one of a run,
// then changes, with a first success reported at once and anything else at
// most every thirty seconds so that a flapping outcome cannot flood the outbox.
class CursorOutcomeTracker {
public:
    // now: seconds on a monotonic clock. Returns the event to send, if any.
    std::optional<std::string> observe(const std::string& result, bool enabled, double now);

    static constexpr double minimumInterval = 30;

private:
    void remember(const std::string& result, bool enabled, double now);

    std::optional<std::string> emittedResult;
    bool emittedEnabled = false;
    std::optional<double> lastEmittedAt;
    bool successReported = false;
};
