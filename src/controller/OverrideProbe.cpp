#include "controller/OverrideProbe.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/GlobalCursorReading.h"
#include "language/CursorMarker.h"
#include "render/CursorRenderer.h"

#include <optional>

namespace {

// A plain pink disc: whatever it is drawn on, the pixels differ from the
// original arrow's.
CursorMarker overrideTestMarker()
{
    return CursorMarker{std::nullopt, Color::systemPink(), Color::clear(), Color::white(), 10.0, 1.0};
}

}

OverrideProbe::OverrideProbe(const CGSRuntime& runtime, const CursorCatalogue& catalogue, const BaselineStore& store)
    : runtime_(runtime), catalogue_(catalogue), store_(store)
{
}

void OverrideProbe::run(std::int32_t connectionID)
{
    auto arrowID = store_.primaryIdentifier(CursorRole::arrow);
    const auto& snapshots = store_.snapshots();
    if (!arrowID || !snapshots.count(*arrowID))
        return;

    auto before = cursorBytesForArrowIdentifiers(connectionID);
    auto globalBefore = GlobalCursorReading::takeFingerprint(runtime_, connectionID);
    AppLog::info("validateOverrideWorks start: arrowAliasesWithBytes=" + std::to_string(before.size()));

    auto decorated = CursorRenderer::decoratePayload(snapshots.at(*arrowID), overrideTestMarker(),
                                                     CursorTemplate::arrow, false, false, false, false);
    for (const auto& identifier : catalogue_.identifiers(CursorRole::arrow)) {
        auto own = snapshots.find(identifier);
        const CursorSnapshot& snap = own != snapshots.end() ? own->second : snapshots.at(*arrowID);
        runtime_.registerCursor(connectionID, identifier, snap, decorated.images, true, true);
    }
    showArrow(connectionID, *arrowID);

    auto after = cursorBytesForArrowIdentifiers(connectionID);
    auto globalAfter = GlobalCursorReading::takeFingerprint(runtime_, connectionID);
    bool globalChanged = globalAfter.changedFrom(globalBefore);

    putCapturedArrowsBack(connectionID);
    showArrow(connectionID, *arrowID);

    AppLog::info("validateOverrideWorks globalHashBefore=" + globalBefore.fingerprint.value_or("nil") +
                 " globalHashAfter=" + globalAfter.fingerprint.value_or("nil") +
                 " globalChanged=" + LogFormat::boolean(globalChanged));

    std::optional<std::string> changed;
    for (const auto& [identifier, bytes] : before) {
        auto now = after.find(identifier);
        if (now != after.end() && now->second != bytes) {
            changed = identifier;
            break;
        }
    }
    if (changed)
        AppLog::info("validateOverrideWorks success via identifier " + *changed);
    else
        AppLog::warn("validateOverrideWorks failed: no byte-level cursor change detected");
    isVerifiedFunctional_ = changed.has_value();
    isGlobalCursorPathEffective_ = globalChanged;
}

void OverrideProbe::showArrow(std::int32_t connectionID, const std::string& primary) const
{
    runtime_.setRegisteredCursorNow(connectionID, primary);
    runtime_.refreshCursorDisplay(connectionID);
}

void OverrideProbe::putCapturedArrowsBack(std::int32_t connectionID) const
{
    const auto& snapshots = store_.snapshots();
    for (const auto& identifier : catalogue_.identifiers(CursorRole::arrow)) {
        auto own = snapshots.find(identifier);
        if (own != snapshots.end())
            runtime_.registerCursor(connectionID, identifier, own->second, own->second.images, true, true);
    }
}

std::map<std::string, std::vector<std::uint8_t>>
OverrideProbe::cursorBytesForArrowIdentifiers(std::int32_t connectionID) const
{
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    for (const auto& identifier : catalogue_.identifiers(CursorRole::arrow)) {
        auto image = runtime_.createRegisteredCursorImage(connectionID, identifier);
        if (!image)
            continue;
        const std::uint8_t* data = CGImageGetBytePointer(image.get());
        std::size_t length = CGImageGetBytesLength(image.get());
        if (data && length > 0)
            bytes[identifier].assign(data, data + length);
    }
    return bytes;
}
