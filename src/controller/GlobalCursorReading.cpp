#include "controller/GlobalCursorReading.h"

#include "base/LogFormat.h"

GlobalCursorReading GlobalCursorReading::take(const CGSRuntime& runtime, std::int32_t connectionID)
{
    auto seed = runtime.currentCursorSeed();
    return GlobalCursorReading{seed, runtime.currentCursorFingerprint(connectionID)};
}

GlobalCursorReading GlobalCursorReading::takeFingerprint(const CGSRuntime& runtime, std::int32_t connectionID)
{
    return GlobalCursorReading{std::nullopt, runtime.currentCursorFingerprint(connectionID)};
}

bool GlobalCursorReading::changedFrom(const GlobalCursorReading& before) const
{
    return before.fingerprint && fingerprint && *before.fingerprint != *fingerprint;
}

std::string GlobalCursorReading::comparedWith(const GlobalCursorReading& before) const
{
    return " cursorSeedBefore=" + LogFormat::optional(before.seed) + " cursorSeedAfter=" + LogFormat::optional(seed) +
           " cursorHashBefore=" + before.fingerprint.value_or("nil") +
           " cursorHashAfter=" + fingerprint.value_or("nil") +
           " hashChanged=" + LogFormat::boolean(changedFrom(before));
}
