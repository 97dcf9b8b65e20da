#include "telemetry/LayoutActivityTracker.h"

bool LayoutActivityTracker::observe(const std::string& code)
{
    bool changed = previousCode && *previousCode != code;
    previousCode = code;
    return changed;
}
