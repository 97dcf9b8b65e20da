#pragma once

#include "controller/GeometryText.h"
#include "runtime/CursorSnapshot.h"

#include <string>
#include <vector>

// What one cursor name is about to be registered with, and where it came from.
struct ResolvedPayload {
    // Size, hot spot, frame count and frame duration to register.
    CursorSnapshot snapshot;
    std::vector<CFRef<CGImageRef>> images;
    // "cape", "snapshot", "snapshot-template-safe", "template" or
    // "template-lefty"; an arrow name that borrowed the canonical arrow's
    // payload adds "+canonical-fallback".
    std::string source;
    // The name whose cursor the images were made from.
    std::string sourceIdentifier;

    // A badged arrow needs room beside and below a full-size pointer, and an
    // image for more than one pixel density; anything less would show a
    // cramped or blurry arrow wherever the window server picks that name.
    bool isStrong() const
    {
        return images.size() >= 2 && snapshot.size.width >= 24 && snapshot.size.height >= 30;
    }

    // "source=... size=WxH images=N", the tail of every line about a payload.
    std::string description() const
    {
        return "source=" + source + " size=" + sizeText(snapshot.size) + " images=" + std::to_string(images.size());
    }
};
