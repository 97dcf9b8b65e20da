#include "controller/CursorRegistrar.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/GeometryText.h"

#include <string>
#include <vector>

namespace {

void logArrowRegistration(const std::string& identifier, const ResolvedPayload& payload)
{
    AppLog::info("arrow alias registration identifier=" + identifier + " payloadFrom=" + payload.sourceIdentifier +
                 " source=" + payload.source + " size=" + sizeText(payload.snapshot.size) +
                 " hotspot=" + pointText(payload.snapshot.hotSpot) +
                 " images=" + std::to_string(payload.images.size()));
}

}

CursorRegistrar::CursorRegistrar(const CGSRuntime& runtime, const CursorCatalogue& catalogue,
                                 const BaselineStore& store, const PayloadResolver& resolver,
                                 CursorActivator& activator)
    : runtime_(runtime), catalogue_(catalogue), store_(store), resolver_(resolver), activator_(activator)
{
}

RegistrationResult CursorRegistrar::registerAndActivate(std::int32_t connectionID,
                                                        const std::optional<CursorMarker>& marker,
                                                        const CapePayloads& capePayloads,
                                                        const RegistrationOptions& options)
{
    const PayloadOptions& payloadOptions = options.payloads;
    RegistrationResult result;
    int capeApplied = 0;
    int generatedApplied = 0;
    std::vector<std::string> additional;
    if (payloadOptions.useCapePayloads)
        for (const auto& [identifier, payload] : capePayloads)
            additional.push_back(identifier);

    auto canonical = resolver_.resolveCanonicalArrowPayload(marker, capePayloads, payloadOptions);

    for (const auto& identifier : store_.targetIdentifiersForApply(additional)) {
        bool isArrow = catalogue_.roleHolds(CursorRole::arrow, identifier);
        auto payload = resolver_.resolveDirectPayload(identifier, marker, capePayloads, payloadOptions);
        if (isArrow && canonical && !(payload && payload->isStrong())) {
            if (payload)
                AppLog::warn("Arrow alias " + identifier + " has weak direct payload " + payload->description() +
                             "; using canonical fallback");
            payload = *canonical;
            payload->source += "+canonical-fallback";
        }
        if (!payload) {
            AppLog::debug("apply skipped for " + identifier + ": no snapshot and no template fallback");
            continue;
        }
        if (isArrow)
            logArrowRegistration(identifier, *payload);
        if (!runtime_.registerCursor(connectionID, identifier, payload->snapshot, payload->images, true, true))
            continue;
        result.appliedCursorPayloads[identifier] = {payload->snapshot, payload->images};
        result.appliedAny = true;
        if (payload->source.find("cape") != std::string::npos)
            ++capeApplied;
        else
            ++generatedApplied;
    }
    AppLog::info("apply source stats: useCape=" + LogFormat::boolean(payloadOptions.useCapePayloads) +
                 " capeApplied=" + std::to_string(capeApplied) + " generatedApplied=" +
                 std::to_string(generatedApplied) + " capeAvailable=" + std::to_string(capePayloads.size()));

    activator_.activateRegisteredCursors(connectionID, options.lightweightRefresh,
                                         canonical ? std::optional<std::string>(canonical->sourceIdentifier)
                                                   : std::nullopt);
    return result;
}
