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

    // The same images (the same objects) with the same geometry and frames.
    bool sameAs(const CursorRecord& other) const
    {
        if (size.width != other.size.width || size.height != other.size.height || hotSpot.x != other.hotSpot.x ||
            hotSpot.y != other.hotSpot.y || frameCount != other.frameCount || frameDuration != other.frameDuration)
            return false;
        CFIndex count = CFArrayGetCount(images.get());
        if (count != CFArrayGetCount(other.images.get()))
            return false;
        for (CFIndex i = 0; i < count; ++i) {
            if (CFArrayGetValueAtIndex(images.get(), i) != CFArrayGetValueAtIndex(other.images.get(), i))
                return false;
        }
        return true;
    }
};
