#include "telemetry/CursorOutcomeTracker.h"

std::optional<std::string> CursorOutcomeTracker::observe(const std::string& result, bool enabled, double now)
{
    if (!emittedResult) {
        remember(result, enabled, now);
        return "initialization_result";
    }
    if (result == *emittedResult && enabled == emittedEnabled)
        return std::nullopt;
    bool firstSuccess = result == "success" && !successReported;
    bool quietLongEnough = !lastEmittedAt || now - *lastEmittedAt >= minimumInterval;
    if (!firstSuccess && !quietLongEnough)
        return std::nullopt;
    remember(result, enabled, now);
    return "feature_state_changed";
}

void CursorOutcomeTracker::remember(const std::string& result, bool enabled, double now)
{
    emittedResult = result;
    emittedEnabled = enabled;
    lastEmittedAt = now;
    if (result == "success")
        successReported = true;
}
