#pragma once

#include "platform/graphics/cgimage/CFArray.h"
#include "platform/graphics/cgimage/CFRef.h"

#include <cstdint>

// A cursor as callers hand it in and get it back: size and hot spot in
// points, the frame count and duration as given, and every image: one per
// pixel size, each holding the frames of an animated cursor one below the
// other.
struct CursorRecord {
    CGSize size{};
    CGPoint hotSpot{};
    std::uint64_t frameCount = 1;
    double frameDuration = 0;
    CFRef<CFArrayRef> images;
};
