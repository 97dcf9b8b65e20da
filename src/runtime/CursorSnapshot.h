#pragma once

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <cstdint>
#include <vector>

// One cursor as the window server holds it. Size, hot spot and frame duration
// are in the window server's own units and handed back unchanged.
struct CursorSnapshot {
    CGSize size{};
    CGPoint hotSpot{};
    std::uint64_t frameCount = 0;
    double frameDuration = 0;
    std::vector<CFRef<CGImageRef>> images;

    // No real cursor comes near 1024 px a side or 64 frames: a server that
    // reports more is broken or hostile, and nothing of it is kept.
    bool withinSaneLimits() const;
};
