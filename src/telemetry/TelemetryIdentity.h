#pragma once

#include <string>

class UserDefaults;

// The installation's telemetry identity, kept in the user defaults: a UUID and
// the date it was first seen, both created by the first launch that finds no
// identifier.
struct TelemetryIdentity {
    std::string installId;
    // In IsoDate form; empty when the stored date is missing or damaged.
    std::string firstSeenAt;
    bool isFirstLaunch = false;

    static TelemetryIdentity loadOrCreate(UserDefaults& defaults);

    static constexpr const char* installIdKey = "tarnwick.telemetry.installId";
    static constexpr const char* firstSeenAtKey = "tarnwick.telemetry.firstSeenAt";
};
