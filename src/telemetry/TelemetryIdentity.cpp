#include "telemetry/TelemetryIdentity.h"

#include "platform/defaults/UserDefaults.h"
#include "telemetry/IsoDate.h"
#include "platform/system/Uuid.h"

TelemetryIdentity TelemetryIdentity::loadOrCreate(UserDefaults& defaults)
{
    // The identifier names the outbox file, so anything but a UUID (an edited
    // settings file) is not used: a fresh identity replaces it.
    auto stored = defaults.string(installIdKey);
    if (stored && Uuid::isValid(*stored)) {
        auto firstSeen = defaults.string(firstSeenAtKey);
        bool dated = firstSeen && IsoDate::parse(*firstSeen);
        return {*stored, dated ? *firstSeen : "", false};
    }
    TelemetryIdentity created{Uuid::random(), IsoDate::format(std::chrono::system_clock::now()), true};
    defaults.set(installIdKey, created.installId);
    defaults.set(firstSeenAtKey, created.firstSeenAt);
    return created;
}
