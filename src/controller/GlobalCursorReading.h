#pragma once

#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <optional>
#include <string>

// What the window server shows as the cursor at one moment. Read before and
// after a change, it tells whether anything visible happened.
struct GlobalCursorReading {
    std::optional<CGSCursorSeed> seed;
    std::optional<std::string> fingerprint;

    // The seed, then the fingerprint.
    static GlobalCursorReading take(const CGSRuntime& runtime, std::int32_t connectionID);
    // The fingerprint alone; the seed is left unread.
    static GlobalCursorReading takeFingerprint(const CGSRuntime& runtime, std::int32_t connectionID);

    // Both fingerprints known and different.
    bool changedFrom(const GlobalCursorReading& before) const;
    // " cursorSeedBefore=… cursorSeedAfter=… cursorHashBefore=… cursorHashAfter=… hashChanged=…",
    // the tail of the lines that close an apply or a restore.
    std::string comparedWith(const GlobalCursorReading& before) const;
};
