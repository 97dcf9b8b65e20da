#pragma once

#include "render/CursorRenderer.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Badged payloads remembered by the pixels and geometry they were drawn from
// and by the badge drawn on them. Switching back to a language draws
// nothing, and the many names that share one cursor within a set are drawn
// once. The least recently used drawings go first when the memo is full.
// Mirrored images are remembered too, by the image they were made from: a
// left-handed set mirrors the same baseline images at every switch.
class DecorationMemo {
public:
    // What CursorRenderer::mirrorSnapshot gives, its line included; an image
    // mirrored before is the same object again.
    CursorSnapshot mirrorSnapshot(const CursorSnapshot& snapshot);

    // What CursorRenderer::decoratePayload gives for the same arguments.
    CursorRenderer::DecoratedPayload decoratePayload(const CursorSnapshot& snapshot,
                                                     const std::optional<CursorMarker>& marker,
                                                     std::optional<CursorTemplate> cursorTemplate,
                                                     bool isHorizontalResize, bool isVerticalResize,
                                                     bool isDiagonalResize, bool isLeftHanded);

    std::size_t size() const { return entries_.size(); }

    // About four languages' sets of a full theme.
    static constexpr std::size_t capacity = 256;

private:
    struct Entry {
        CursorRenderer::DecoratedPayload payload;
        std::uint64_t lastUse = 0;
    };

    void evictLeastRecentlyUsed();
    CFRef<CGImageRef> mirrored(CGImageRef image);

    std::map<std::string, Entry> entries_;
    std::uint64_t uses_ = 0;
    // Source image -> the source, held so that its address stays its own,
    // and its mirror.
    std::map<CGImageRef, std::pair<CFRef<CGImageRef>, CFRef<CGImageRef>>> mirrors_;
};
