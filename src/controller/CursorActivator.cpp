#include "controller/CursorActivator.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "platform/runloop/RunLoop.h"

#include <algorithm>
#include <vector>

namespace {

const std::string defaultFinalArrow = "com.apple.coregraphics.GlobalCurrent";

}

CursorActivator::CursorActivator(const CGSRuntime& runtime, const CursorCatalogue& catalogue,
                                 const BaselineStore& store, CursorScale& scale, ActivationSwitches switches)
    : runtime_(runtime), catalogue_(catalogue), store_(store), scale_(scale), switches_(switches)
{
}

void CursorActivator::activateSystemDefinedCursor(std::int32_t connectionID, std::int32_t cursorID)
{
    runtime_.setSystemDefinedCursor(connectionID, cursorID);
    runtime_.setSystemDefinedCursorWithSeed(connectionID, cursorID);
}

void CursorActivator::activateCoreCursor(std::int32_t connectionID, std::int32_t cursorID)
{
    runtime_.setCoreCursor(connectionID, cursorID);
    runtime_.setCoreCursorWithSeed(connectionID, cursorID);
}

void CursorActivator::normalizeBeforeBaselineCapture(std::int32_t connectionID)
{
    bool resetOK = runtime_.hardResetSystemCursors(connectionID, CursorCatalogue::maxTrackedCursorID);
    std::string finalArrow = catalogue_.preferredFinalArrowIdentifier(defaultFinalArrow);
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    if (switches_.useCoreSweepActivation) {
        auto id = catalogue_.systemCursorID(finalArrow);
        activateCoreCursor(connectionID, CursorCatalogue::isTrackedCursorID(id) ? *id : 0);
    }
    if (switches_.useSystemDefinedActivation)
        activateSystemDefinedCursor(connectionID, catalogue_.systemCursorID(finalArrow).value_or(0));
    runtime_.refreshCursorDisplay(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
    AppLog::info("normalizeSystemCursorBeforeBaselineCapture completed. resetOK=" + LogFormat::boolean(resetOK) +
                 " finalArrow=" + finalArrow);
}

void CursorActivator::activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                                const std::optional<std::string>& canonicalSourceIdentifier)
{
    std::string finalArrow = primeArrow(connectionID, canonicalSourceIdentifier);
    auto systemID = catalogue_.systemCursorID(finalArrow);

    if (switches_.useSystemDefinedActivation)
        for (std::int32_t id : catalogue_.forcedActivationCursorIDs())
            activateSystemDefinedCursor(connectionID, id);
    if (switches_.useLegacySystemIDActivation)
        AppLog::warn("Legacy system ID activation flag is set, but Arrow ID priming is already active by default");
    if (switches_.useSystemDefinedActivation && systemID)
        activateSystemDefinedCursor(connectionID, *systemID);
    if (switches_.useCoreSweepActivation)
        sweepCoreCursors(connectionID, systemID);

    if (lightweightRefresh) {
        runtime_.nudgeCursorScale(connectionID);
        runtime_.postSyntheticMouseMovedEvents(1);
        AppLog::info("registerAndActivate lightweight refresh (language-only switch)");
        return;
    }
    runtime_.refreshCursorDisplay(connectionID);
    scale_.applyDecorated(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
    scheduleReactivations(connectionID, finalArrow, systemID);
}

// Every arrow name is made current in turn; the one kept current is the
// preferred final arrow. Returns that name.
std::string CursorActivator::primeArrow(std::int32_t connectionID,
                                        const std::optional<std::string>& canonicalSourceIdentifier)
{
    std::vector<std::string> priming = catalogue_.identifiers(CursorRole::arrow);
    priming.insert(priming.end(), CursorCatalogue::arrowPrimingExtras.begin(),
                   CursorCatalogue::arrowPrimingExtras.end());
    std::optional<std::string> firstOK;
    for (const auto& identifier : CursorCatalogue::deduplicated(priming))
        if (runtime_.setRegisteredCursorNow(connectionID, identifier) && !firstOK)
            firstOK = identifier;

    std::string fallback = firstOK ? *firstOK
                           : canonicalSourceIdentifier
                               ? *canonicalSourceIdentifier
                               : store_.primaryIdentifier(CursorRole::arrow).value_or(defaultFinalArrow);
    std::string finalArrow = catalogue_.preferredFinalArrowIdentifier(fallback);
    if (!runtime_.setRegisteredCursorNow(connectionID, finalArrow) && firstOK)
        runtime_.setRegisteredCursorNow(connectionID, *firstOK);
    return finalArrow;
}

void CursorActivator::sweepCoreCursors(std::int32_t connectionID, const std::optional<std::int32_t>& systemID)
{
    std::vector<std::int32_t> successes;
    for (std::int32_t id = 0; id <= CursorCatalogue::maxTrackedCursorID; ++id) {
        bool ok = runtime_.setCoreCursor(connectionID, id);
        runtime_.setCoreCursorWithSeed(connectionID, id);
        if (ok)
            successes.push_back(id);
    }
    std::int32_t preferred = CursorCatalogue::isTrackedCursorID(systemID) ? *systemID : 0;
    std::int32_t chosen = preferred;
    if (!successes.empty() && std::find(successes.begin(), successes.end(), preferred) == successes.end())
        chosen = successes.front();
    AppLog::info("core activation sweep completed. attempted=" +
                 std::to_string(CursorCatalogue::maxTrackedCursorID + 1) + " success=" +
                 std::to_string(successes.size()) + " preferred=" + LogFormat::optional(systemID) +
                 " chosen=" + std::to_string(chosen));
    activateCoreCursor(connectionID, chosen);
}

void CursorActivator::scheduleReactivations(std::int32_t connectionID, const std::string& finalArrow,
                                            const std::optional<std::int32_t>& systemID)
{
    std::weak_ptr<CursorActivator> weakSelf = weak_from_this();
    std::uint64_t generation = restoreGeneration_;
    auto later = [&](double seconds, bool withSystemDefined) {
        RunLoop::main().after(seconds, [weakSelf, connectionID, finalArrow, systemID, withSystemDefined, generation] {
            if (auto self = weakSelf.lock())
                self->reactivate(connectionID, finalArrow, systemID, withSystemDefined, generation);
        });
    };
    later(0.05, true);
    later(0.16, false);
    later(0.32, false);
}

void CursorActivator::reactivate(std::int32_t connectionID, const std::string& finalArrow,
                                 const std::optional<std::int32_t>& systemID, bool withSystemDefined,
                                 std::uint64_t scheduledInRestoreGeneration)
{
    if (scheduledInRestoreGeneration != restoreGeneration_)
        return;
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    if (withSystemDefined && switches_.useSystemDefinedActivation && systemID)
        activateSystemDefinedCursor(connectionID, *systemID);
    if (switches_.useCoreSweepActivation && systemID)
        activateCoreCursor(connectionID, *systemID);
    scale_.applyDecorated(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
}

void CursorActivator::activateRestoredArrow(std::int32_t connectionID)
{
    std::string finalArrow = catalogue_.preferredFinalArrowIdentifier(
        store_.primaryIdentifier(CursorRole::arrow).value_or(defaultFinalArrow));
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    auto id = catalogue_.systemCursorID(finalArrow);
    if (switches_.useCoreSweepActivation && CursorCatalogue::isTrackedCursorID(id)) {
        activateCoreCursor(connectionID, *id);
        if (switches_.useSystemDefinedActivation)
            activateSystemDefinedCursor(connectionID, *id);
    } else if (switches_.useSystemDefinedActivation && id) {
        activateSystemDefinedCursor(connectionID, *id);
    }
}
