#include "controller/PayloadResolver.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/GeometryText.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/CursorRenderer.h"

namespace {

struct ResizeKind {
    bool horizontal = false;
    bool vertical = false;
    bool diagonal = false;

    bool any() const { return horizontal || vertical || diagonal; }
};

// A cursor of no role is taken for a resize cursor by its proportions: clearly
// wider or higher than it is long, or square at about an arrow's size. Its
// badge then keeps clear of both arrow heads.
ResizeKind resizeKind(const CGSize& size)
{
    double w = size.width;
    double h = size.height;
    ResizeKind kind;
    kind.horizontal = h * 1.3 < w;
    kind.vertical = w * 1.3 < h;
    kind.diagonal = !kind.horizontal && !kind.vertical && 15 < w && w < 35 && 15 < h && h < 35;
    return kind;
}

// The badged payload, or none when not a single image could be drawn: an empty
// image list would register nothing and, on an arrow, could even become the
// payload every other arrow name falls back on.
std::optional<ResolvedPayload> decorated(DecorationMemo& memo, const CursorSnapshot& snapshot,
                                         const std::optional<CursorMarker>& marker,
                                         std::optional<CursorTemplate> cursorTemplate, ResizeKind resize,
                                         bool isLeftHanded, std::string source, const std::string& identifier)
{
    auto payload = memo.decoratePayload(snapshot, marker, cursorTemplate, resize.horizontal, resize.vertical,
                                        resize.diagonal, isLeftHanded);
    if (payload.images.empty())
        return std::nullopt;
    return ResolvedPayload{std::move(payload.snapshot), std::move(payload.images), std::move(source), identifier};
}

}

PayloadResolver::PayloadResolver(const CursorCatalogue& catalogue, const BaselineStore& store)
    : catalogue_(catalogue), store_(store)
{
}

std::optional<ResolvedPayload>
PayloadResolver::resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                              const CapePayloads& capePayloads, const PayloadOptions& options) const
{
    std::vector<std::string> candidates = CursorCatalogue::canonicalArrowOrder;
    const auto& arrowNames = catalogue_.identifiers(CursorRole::arrow);
    candidates.insert(candidates.end(), arrowNames.begin(), arrowNames.end());

    std::optional<ResolvedPayload> fallback;
    for (const auto& identifier : CursorCatalogue::deduplicated(candidates)) {
        auto payload = resolveDirectPayload(identifier, marker, capePayloads, options);
        if (!payload)
            continue;
        if (payload->isStrong()) {
            AppLog::info("Canonical arrow payload selected identifier=" + identifier + " " + payload->description());
            return payload;
        }
        AppLog::warn("Rejected weak arrow payload identifier=" + identifier + " " + payload->description());
        if (!fallback)
            fallback = std::move(payload);
    }
    if (fallback) {
        AppLog::warn("Using fallback arrow payload identifier=" + fallback->sourceIdentifier + " " +
                     fallback->description());
        return fallback;
    }
    AppLog::error("Canonical arrow payload unavailable; arrow aliases may remain unchanged");
    return std::nullopt;
}

std::optional<ResolvedPayload> PayloadResolver::resolveDirectPayload(const std::string& identifier,
                                                                     const std::optional<CursorMarker>& marker,
                                                                     const CapePayloads& capePayloads,
                                                                     const PayloadOptions& options) const
{
    if (!options.forceTemplatePayloads && options.useCapePayloads) {
        // Stored exactly as they were installed: already mirrored and badged.
        auto cape = capePayloads.find(identifier);
        if (cape != capePayloads.end())
            return ResolvedPayload{cape->second.snapshot, cape->second.images, "cape", identifier};
    }

    auto cursorTemplate = catalogue_.templateForIdentifier(identifier);
    auto captured = store_.snapshots().find(identifier);
    if (captured != store_.snapshots().end())
        if (auto payload = fromSnapshot(identifier, captured->second, marker, cursorTemplate, options))
            return payload;
    if (!cursorTemplate)
        return std::nullopt;
    return fromTemplate(identifier, *cursorTemplate, marker, options);
}

std::optional<ResolvedPayload> PayloadResolver::fromSnapshot(const std::string& identifier,
                                                             const CursorSnapshot& snapshot,
                                                             const std::optional<CursorMarker>& marker,
                                                             std::optional<CursorTemplate> cursorTemplate,
                                                             const PayloadOptions& options) const
{
    std::string source = options.forceTemplatePayloads ? "snapshot-template-safe" : "snapshot";
    ResizeKind resize = cursorTemplate ? ResizeKind{} : resizeKind(snapshot.size);
    if (!resize.any())
        return decorated(memo_, options.isLeftHanded ? memo_.mirrorSnapshot(snapshot) : snapshot, marker,
                         cursorTemplate, {}, options.isLeftHanded, source, identifier);
    AppLog::info("resolveDirectPayload resize detection: " + identifier + " size=" + sizeText(snapshot.size) +
                 " isH=" + LogFormat::boolean(resize.horizontal) + " isV=" + LogFormat::boolean(resize.vertical) +
                 " isDiag=" + LogFormat::boolean(resize.diagonal));
    // Resize cursors are symmetric; mirroring would only move their hot spot.
    return decorated(memo_, snapshot, marker, std::nullopt, resize, options.isLeftHanded, source, identifier);
}

std::optional<ResolvedPayload> PayloadResolver::fromTemplate(const std::string& identifier,
                                                             CursorTemplate cursorTemplate,
                                                             const std::optional<CursorMarker>& marker,
                                                             const PayloadOptions& options) const
{
    CursorSnapshot stock = syntheticSnapshot(cursorTemplate);
    stock.images = CursorRenderer::fallbackImages(cursorTemplate, std::nullopt);
    if (stock.images.empty())
        return std::nullopt;
    if (options.isLeftHanded)
        stock = CursorRenderer::mirrorSnapshot(stock);
    return decorated(memo_, stock, marker, cursorTemplate, {}, options.isLeftHanded,
                     options.isLeftHanded ? "template-lefty" : "template", identifier);
}

CursorSnapshot PayloadResolver::syntheticSnapshot(CursorTemplate cursorTemplate)
{
    StockCursor stock = StockCursor::load(stockShape(cursorTemplate));
    return CursorSnapshot{stock.size(), stock.hotSpot(), 1, 0, {}};
}
