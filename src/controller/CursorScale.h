#pragma once

#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <optional>

// The cursor scale: the user's own, read once and put back on restore, and
// the slightly larger one used while a badged set is installed.
class CursorScale {
public:
    explicit CursorScale(const CGSRuntime& runtime);

    std::optional<float> baseline() const { return baseline_; }

    void readBaseline(std::int32_t connectionID);
    void applyDecorated(std::int32_t connectionID);
    void restoreBaseline(std::int32_t connectionID);

private:
    const CGSRuntime& runtime_;
    // Read lazily when the start-up read found none.
    std::optional<float> baseline_;
};
