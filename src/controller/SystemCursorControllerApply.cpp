#include "controller/SystemCursorController.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "base/Text.h"
#include "render/CursorRenderer.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::string sizeText(const CGSize& size)
{
    return LogFormat::number(size.width) + "x" + LogFormat::number(size.height);
}

// "source=... size=WxH images=N", the tail of every line about a payload.
std::string describe(const ResolvedPayload& payload)
{
    return "source=" + payload.source + " size=" + sizeText(payload.snapshot.size) +
           " images=" + std::to_string(payload.images.size());
}

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
std::optional<ResolvedPayload> decorated(const CursorSnapshot& snapshot, const std::optional<CursorMarker>& marker,
                                         std::optional<CursorTemplate> cursorTemplate, ResizeKind resize,
                                         bool isLeftHanded, std::string source, const std::string& identifier)
{
    auto payload = CursorRenderer::decoratePayload(snapshot, marker, cursorTemplate, resize.horizontal,
                                                   resize.vertical, resize.diagonal, isLeftHanded);
    if (payload.images.empty())
        return std::nullopt;
    return ResolvedPayload{std::move(payload.snapshot), std::move(payload.images), std::move(source), identifier};
}

}

bool SystemCursorController::apply(const std::optional<CursorMarker>& marker,
                                   const std::optional<std::string>& languageCode,
                                   const std::optional<std::string>& styleCode, bool isLeftHanded)
{
    if (!isRuntimeAvailable_ || !connectionID_) {
        AppLog::error("apply skipped: runtime unavailable");
        return false;
    }
    std::int32_t connectionID = *connectionID_;
    auto seedBefore = runtime_.currentCursorSeed();
    auto hashBefore = runtime_.currentCursorFingerprint(connectionID);

    if (!marker && !isLeftHanded) {
        AppLog::info("apply(marker:nil, isLeftHanded:false) -> restoreOriginal");
        return restoreOriginal();
    }

    CapePayloads capes;
    if (languageCode && styleCode) {
        if (auto loaded = capeStore_.loadCape(*languageCode, *styleCode))
            capes = std::move(*loaded);
    }
    if (!capes.empty())
        AppLog::info("apply using cape payloads: language=" + *languageCode + " style=" + *styleCode +
                     " cursors=" + std::to_string(capes.size()));

    // Only the undecorated system style may take its cursors from a cape; badge
    // styles are drawn afresh from the baseline every time.
    bool forceTemplate = !styleCode || lowercased(*styleCode) != "system";
    bool lightweight = styleCode && lastAppliedStyleCode_ && *styleCode == *lastAppliedStyleCode_;

    if (!lightweight)
        runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);
    resetWorkingSnapshots("Baseline snapshots were empty; rebuilt baseline count=");
    AppLog::info("Applying marker to cursor aliases");
    auto result = registerAndActivate(connectionID, marker, capes, true, forceTemplate, lightweight, isLeftHanded);

    auto seedAfter = runtime_.currentCursorSeed();
    auto hashAfter = runtime_.currentCursorFingerprint(connectionID);
    bool hashChanged = hashBefore && hashAfter && *hashBefore != *hashAfter;

    // A cape that shows nothing new may be stale; a live set is the truth.
    if (!forceTemplate && !capes.empty() && !hashChanged) {
        AppLog::warn("Cape payload apply did not change global cursor hash; retrying with live-generated payloads");
        if (!lightweight)
            runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);
        resetWorkingSnapshots("Fallback apply rebuilt empty baseline count=");
        result = registerAndActivate(connectionID, marker, {}, false, false, lightweight, isLeftHanded);
        seedAfter = runtime_.currentCursorSeed();
        hashAfter = runtime_.currentCursorFingerprint(connectionID);
        hashChanged = hashBefore && hashAfter && *hashBefore != *hashAfter;
        AppLog::info("Fallback generated apply result appliedAny=" + LogFormat::boolean(result.appliedAny) +
                     " hashChanged=" + LogFormat::boolean(hashChanged));
    }

    AppLog::info("apply completed. appliedAny=" + LogFormat::boolean(result.appliedAny) +
                 " cursorSeedBefore=" + LogFormat::optional(seedBefore) +
                 " cursorSeedAfter=" + LogFormat::optional(seedAfter) + " cursorHashBefore=" + hashBefore.value_or("nil") +
                 " cursorHashAfter=" + hashAfter.value_or("nil") + " hashChanged=" + LogFormat::boolean(hashChanged));
    if (!result.appliedAny)
        return false;
    if (languageCode && styleCode)
        capeStore_.saveCape(*languageCode, *styleCode, result.appliedCursorPayloads);
    lastAppliedStyleCode_ = styleCode;
    return true;
}

void SystemCursorController::resetWorkingSnapshots(const std::string& rebuiltWarning)
{
    if (!baselineSnapshots_.empty()) {
        snapshots_ = baselineSnapshots_;
        return;
    }
    snapshots_.clear();
    captureOriginalCursors();
    baselineSnapshots_ = snapshots_;
    AppLog::warn(rebuiltWarning + std::to_string(baselineSnapshots_.size()));
}

SystemCursorController::RegistrationResult
SystemCursorController::registerAndActivate(std::int32_t connectionID, const std::optional<CursorMarker>& marker,
                                            const CapePayloads& capePayloads, bool useCapePayloads,
                                            bool forceTemplatePayloads, bool lightweightRefresh, bool isLeftHanded)
{
    RegistrationResult result;
    int capeApplied = 0;
    int generatedApplied = 0;
    std::vector<std::string> additional;
    if (useCapePayloads)
        for (const auto& [identifier, payload] : capePayloads)
            additional.push_back(identifier);
    const auto& arrowNames = roleIdentifiers_.at(CursorRole::arrow);
    const std::set<std::string> arrowSet(arrowNames.begin(), arrowNames.end());

    auto canonical =
        resolveCanonicalArrowPayload(marker, capePayloads, useCapePayloads, forceTemplatePayloads, isLeftHanded);

    for (const auto& identifier : targetIdentifiersForApply(additional)) {
        bool isArrow = arrowSet.count(identifier) > 0;
        auto payload = resolveDirectPayload(identifier, marker, capePayloads, useCapePayloads, forceTemplatePayloads,
                                            isLeftHanded);
        if (isArrow && canonical && !(payload && payload->isStrong())) {
            if (payload)
                AppLog::warn("Arrow alias " + identifier + " has weak direct payload " + describe(*payload) +
                             "; using canonical fallback");
            payload = *canonical;
            payload->source += "+canonical-fallback";
        }
        if (!payload) {
            AppLog::debug("apply skipped for " + identifier + ": no snapshot and no template fallback");
            continue;
        }
        if (isArrow)
            AppLog::info("arrow alias registration identifier=" + identifier +
                         " payloadFrom=" + payload->sourceIdentifier + " source=" + payload->source +
                         " size=" + sizeText(payload->snapshot.size) + " hotspot=(" +
                         LogFormat::number(payload->snapshot.hotSpot.x) + "," +
                         LogFormat::number(payload->snapshot.hotSpot.y) +
                         ") images=" + std::to_string(payload->images.size()));
        if (!runtime_.registerCursor(connectionID, identifier, payload->snapshot, payload->images, true, true))
            continue;
        result.appliedCursorPayloads[identifier] = {payload->snapshot, payload->images};
        result.appliedAny = true;
        if (payload->source.find("cape") != std::string::npos)
            ++capeApplied;
        else
            ++generatedApplied;
    }
    AppLog::info("apply source stats: useCape=" + LogFormat::boolean(useCapePayloads) +
                 " capeApplied=" + std::to_string(capeApplied) + " generatedApplied=" +
                 std::to_string(generatedApplied) + " capeAvailable=" + std::to_string(capePayloads.size()));

    activateRegisteredCursors(connectionID, lightweightRefresh,
                              canonical ? std::optional<std::string>(canonical->sourceIdentifier) : std::nullopt);
    return result;
}

std::optional<ResolvedPayload>
SystemCursorController::resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                                     const CapePayloads& capePayloads, bool useCapePayloads,
                                                     bool forceTemplatePayloads, bool isLeftHanded) const
{
    std::vector<std::string> candidates = canonicalArrowOrder;
    const auto& arrowNames = roleIdentifiers_.at(CursorRole::arrow);
    candidates.insert(candidates.end(), arrowNames.begin(), arrowNames.end());

    std::optional<ResolvedPayload> fallback;
    for (const auto& identifier : deduplicated(candidates)) {
        auto payload = resolveDirectPayload(identifier, marker, capePayloads, useCapePayloads, forceTemplatePayloads,
                                            isLeftHanded);
        if (!payload)
            continue;
        if (payload->isStrong()) {
            AppLog::info("Canonical arrow payload selected identifier=" + identifier + " " + describe(*payload));
            return payload;
        }
        AppLog::warn("Rejected weak arrow payload identifier=" + identifier + " " + describe(*payload));
        if (!fallback)
            fallback = std::move(payload);
    }
    if (fallback) {
        AppLog::warn("Using fallback arrow payload identifier=" + fallback->sourceIdentifier + " " +
                     describe(*fallback));
        return fallback;
    }
    AppLog::error("Canonical arrow payload unavailable; arrow aliases may remain unchanged");
    return std::nullopt;
}

std::optional<ResolvedPayload>
SystemCursorController::resolveDirectPayload(const std::string& identifier, const std::optional<CursorMarker>& marker,
                                             const CapePayloads& capePayloads, bool useCapePayloads,
                                             bool forceTemplatePayloads, bool isLeftHanded) const
{
    if (!forceTemplatePayloads && useCapePayloads) {
        // Stored exactly as they were installed: already mirrored and badged.
        auto cape = capePayloads.find(identifier);
        if (cape != capePayloads.end())
            return ResolvedPayload{cape->second.snapshot, cape->second.images, "cape", identifier};
    }

    auto cursorTemplate = templateForIdentifier(identifier);
    auto captured = snapshots_.find(identifier);
    if (captured != snapshots_.end()) {
        const CursorSnapshot& snapshot = captured->second;
        std::string source = forceTemplatePayloads ? "snapshot-template-safe" : "snapshot";
        ResizeKind resize = cursorTemplate ? ResizeKind{} : resizeKind(snapshot.size);
        std::optional<ResolvedPayload> payload;
        if (resize.any()) {
            AppLog::info("resolveDirectPayload resize detection: " + identifier + " size=" +
                         sizeText(snapshot.size) + " isH=" + LogFormat::boolean(resize.horizontal) +
                         " isV=" + LogFormat::boolean(resize.vertical) +
                         " isDiag=" + LogFormat::boolean(resize.diagonal));
            // Resize cursors are symmetric; mirroring would only move their hot spot.
            payload = decorated(snapshot, marker, std::nullopt, resize, isLeftHanded, source, identifier);
        } else {
            payload = decorated(isLeftHanded ? CursorRenderer::mirrorSnapshot(snapshot) : snapshot, marker,
                                cursorTemplate, {}, isLeftHanded, source, identifier);
        }
        if (payload)
            return payload;
    }

    if (!cursorTemplate)
        return std::nullopt;
    CursorSnapshot stock = syntheticSnapshot(*cursorTemplate);
    stock.images = CursorRenderer::fallbackImages(*cursorTemplate, std::nullopt);
    if (stock.images.empty())
        return std::nullopt;
    if (isLeftHanded)
        stock = CursorRenderer::mirrorSnapshot(stock);
    return decorated(stock, marker, cursorTemplate, {}, isLeftHanded, isLeftHanded ? "template-lefty" : "template",
                     identifier);
}
