#pragma once

#include "controller/BaselineStore.h"
#include "controller/CursorCatalogue.h"
#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The start-up test whether overriding the arrow shows at all: registers a
// plainly different arrow under every arrow name, looks whether the window
// server's image bytes and the global cursor changed, and puts the captured
// arrows back.
class OverrideProbe {
public:
    OverrideProbe(const CGSRuntime& runtime, const CursorCatalogue& catalogue, const BaselineStore& store);

    bool isVerifiedFunctional() const { return isVerifiedFunctional_; }
    bool isGlobalCursorPathEffective() const { return isGlobalCursorPathEffective_; }

    // Leaves both results false when there is no captured arrow to test with.
    void run(std::int32_t connectionID);
    std::map<std::string, std::vector<std::uint8_t>> cursorBytesForArrowIdentifiers(std::int32_t connectionID) const;

private:
    void showArrow(std::int32_t connectionID, const std::string& primary) const;
    void putCapturedArrowsBack(std::int32_t connectionID) const;

    const CGSRuntime& runtime_;
    const CursorCatalogue& catalogue_;
    const BaselineStore& store_;
    bool isVerifiedFunctional_ = false;
    bool isGlobalCursorPathEffective_ = false;
};
