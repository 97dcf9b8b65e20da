#include "controller/CursorScale.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"

#include <algorithm>
#include <cmath>

CursorScale::CursorScale(const CGSRuntime& runtime) : runtime_(runtime)
{
}

void CursorScale::readBaseline(std::int32_t connectionID)
{
    baseline_ = runtime_.cursorScale(connectionID);
}

void CursorScale::applyDecorated(std::int32_t connectionID)
{
    float base = 1.0f;
    if (baseline_) {
        base = *baseline_;
    } else {
        readBaseline(connectionID);
        base = baseline_ ? *baseline_ : runtime_.cursorScale(connectionID).value_or(1.0f);
    }
    float target = std::max(base * 1.08f, 1.0f);
    auto current = runtime_.cursorScale(connectionID);
    if (!current) {
        runtime_.setCursorScale(connectionID, target);
        AppLog::info("Decorated cursor scale applied (no current read): base=" + LogFormat::number(base) +
                     " target=" + LogFormat::number(target));
        return;
    }
    if (std::abs(*current - target) < 0.001f)
        return;
    bool applied = runtime_.setCursorScale(connectionID, target);
    AppLog::info("Decorated cursor scale update base=" + LogFormat::number(base) + " current=" +
                 LogFormat::number(*current) + " target=" + LogFormat::number(target) +
                 " applied=" + LogFormat::boolean(applied));
}

void CursorScale::restoreBaseline(std::int32_t connectionID)
{
    if (!baseline_)
        readBaseline(connectionID);
    if (!baseline_)
        return;
    runtime_.setCursorScale(connectionID, *baseline_);
    AppLog::debug("Baseline cursor scale restored to " + LogFormat::number(*baseline_));
}
