#include "render/DecorationMemo.h"

#include "platform/graphics/ImageKey.h"

#include <algorithm>
#include <type_traits>

namespace {

template <typename Value>
void append(std::string& key, const Value& value)
{
    static_assert(std::is_trivially_copyable_v<Value>);
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void append(std::string& key, const Color& color)
{
    Color::RGBA rgba = color.rgba();
    for (double component : {rgba.red, rgba.green, rgba.blue, rgba.alpha})
        append(key, component);
}

// Field by field: the padding between them holds no value and would make
// equal keys differ.
void append(std::string& key, const ImageKey& image)
{
    append(key, image.width);
    append(key, image.height);
    append(key, image.bytesPerRow);
    append(key, image.bitmapInfo);
    append(key, image.hash);
}

void append(std::string& key, const CursorMarker& marker)
{
    append(key, marker.text.has_value());
    append(key, marker.text.value_or("").size());
    key += marker.text.value_or("");
    for (const Color* color : {&marker.fillColor, &marker.textColor, &marker.borderColor})
        append(key, *color);
    append(key, marker.diameter);
    append(key, marker.borderWidth);
}

// Everything the drawing depends on: the badge and flags, the geometry, and
// every input image by its pixels (two snapshots of one cursor are two
// objects with the same pixels).
std::string keyOf(const CursorSnapshot& snapshot, const CursorMarker& marker,
                  std::optional<CursorTemplate> cursorTemplate, std::initializer_list<bool> flags)
{
    std::string key;
    append(key, marker);
    append(key, cursorTemplate.has_value());
    append(key, cursorTemplate.value_or(CursorTemplate::arrow));
    for (bool flag : flags)
        append(key, flag);
    append(key, snapshot.size);
    append(key, snapshot.hotSpot);
    append(key, snapshot.frameCount);
    append(key, snapshot.frameDuration);
    for (const auto& image : snapshot.images)
        append(key, image ? ImageKey::of(image.get()) : ImageKey{});
    return key;
}

}

CursorRenderer::DecoratedPayload DecorationMemo::decoratePayload(const CursorSnapshot& snapshot,
                                                                 const std::optional<CursorMarker>& marker,
                                                                 std::optional<CursorTemplate> cursorTemplate,
                                                                 bool isHorizontalResize, bool isVerticalResize,
                                                                 bool isDiagonalResize, bool isLeftHanded)
{
    if (!marker)
        return CursorRenderer::decoratePayload(snapshot, marker, cursorTemplate, isHorizontalResize,
                                               isVerticalResize, isDiagonalResize, isLeftHanded);
    std::string key = keyOf(snapshot, *marker, cursorTemplate,
                            {isHorizontalResize, isVerticalResize, isDiagonalResize, isLeftHanded});
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        evictLeastRecentlyUsed();
        auto payload = CursorRenderer::decoratePayload(snapshot, marker, cursorTemplate, isHorizontalResize,
                                                       isVerticalResize, isDiagonalResize, isLeftHanded);
        // A drawing that lost images may go better next time.
        if (payload.images.size() != snapshot.images.size())
            return payload;
        // The snapshot's images are the caller's; the memo holds only what it drew.
        payload.snapshot.images.clear();
        found = entries_.emplace(std::move(key), Entry{std::move(payload)}).first;
    }
    found->second.lastUse = ++uses_;
    CursorRenderer::DecoratedPayload result = found->second.payload;
    result.snapshot.images = snapshot.images;
    return result;
}

CursorSnapshot DecorationMemo::mirrorSnapshot(const CursorSnapshot& snapshot)
{
    return CursorRenderer::mirrorSnapshot(snapshot, [this](CGImageRef image) { return mirrored(image); });
}

CFRef<CGImageRef> DecorationMemo::mirrored(CGImageRef image)
{
    if (auto known = mirrors_.find(image); known != mirrors_.end()) {
        CursorRenderer::noteMirrored(known->second.second.get());
        return known->second.second;
    }
    CFRef<CGImageRef> mirror = CursorRenderer::mirrorHorizontally(image);
    if (!mirror)
        return mirror;
    // Sources nobody else holds any more will not be seen again.
    if (mirrors_.size() >= capacity)
        std::erase_if(mirrors_, [](const auto& entry) { return CFGetRetainCount(entry.first) == 1; });
    if (mirrors_.size() < capacity)
        mirrors_.emplace(image, std::pair(CFRef<CGImageRef>::retain(image), mirror));
    return mirror;
}

void DecorationMemo::evictLeastRecentlyUsed()
{
    if (entries_.size() < capacity)
        return;
    auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& left, const auto& right) {
        return left.second.lastUse < right.second.lastUse;
    });
    entries_.erase(oldest);
}
