#include "controller/SystemCursorController.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "base/Text.h"
#include "controller/ActivationSwitches.h"
#include "controller/GlobalCursorReading.h"

SystemCursorController::SystemCursorController(CGSRuntime& runtime, CursorCapeStore& capeStore,
                                               ActivationSwitches switches)
    : runtime_(runtime),
      capeStore_(capeStore),
      connectionID_(runtime.mainConnectionID()),
      isRuntimeAvailable_(runtime.mainConnectionIDFn && runtime.registerCursorWithImagesFn &&
                          runtime.copyRegisteredCursorImagesFn && runtime.setRegisteredCursorFn && connectionID_),
      catalogue_(runtime),
      scale_(runtime),
      store_(runtime, catalogue_, isRuntimeAvailable_ ? connectionID_ : std::nullopt),
      resolver_(catalogue_, store_),
      activator_(std::make_shared<CursorActivator>(runtime, catalogue_, store_, scale_, switches)),
      registrar_(runtime, catalogue_, store_, resolver_, *activator_),
      probe_(runtime, catalogue_, store_)
{
    if (connectionID_)
        scale_.readBaseline(*connectionID_);
    logConfiguration();

    if (connectionID_)
        activator_->normalizeBeforeBaselineCapture(*connectionID_);
    store_.captureOriginalCursors();
    store_.validateAndFixBaselineSnapshots();
    store_.keepAsBaseline();
    AppLog::info("Baseline snapshots captured: " + std::to_string(store_.baselineSnapshots().size()));
    if (isRuntimeAvailable_)
        probe_.run(*connectionID_);
    AppLog::info("SystemCursorController verification result: byteOverride=" +
                 LogFormat::boolean(isVerifiedFunctional()) +
                 " globalPath=" + LogFormat::boolean(isGlobalCursorPathEffective()));
}

void SystemCursorController::logConfiguration() const
{
    const ActivationSwitches& switches = activator_->switches();
    AppLog::info("SystemCursorController init. runtimeAvailable=" + LogFormat::boolean(isRuntimeAvailable_) +
                 " connectionID=" + LogFormat::optional(connectionID_));
    AppLog::info("SystemCursorController config maxTrackedCursorID=" + std::to_string(maxTrackedCursorID));
    AppLog::info("SystemCursorController config useCoreSweepActivation=" +
                 LogFormat::boolean(switches.useCoreSweepActivation));
    AppLog::info("SystemCursorController config useSystemDefinedActivation=" +
                 LogFormat::boolean(switches.useSystemDefinedActivation));
    AppLog::info("Baseline cursor scale: " + LogFormat::optional(scale_.baseline()));
    catalogue_.logContents();
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
    auto before = GlobalCursorReading::take(runtime_, connectionID);

    if (!marker && !isLeftHanded) {
        AppLog::info("apply(marker:nil, isLeftHanded:false) -> restoreOriginal");
        return restoreOriginal();
    }

    runtime_.selectCursorSet(languageCode.value_or(""), styleCode.value_or(""), isLeftHanded);
    CapePayloads capes = loadCapes(languageCode, styleCode);
    // Only the undecorated system style may take its cursors from a cape; badge
    // styles are drawn afresh from the baseline every time.
    bool forceTemplate = !styleCode || lowercased(*styleCode) != "system";
    bool lightweight = styleCode && lastAppliedStyleCode_ && *styleCode == *lastAppliedStyleCode_;

    startFromBaseline(connectionID, lightweight, "Baseline snapshots were empty; rebuilt baseline count=");
    AppLog::info("Applying marker to cursor aliases");
    RegistrationOptions options{
        .payloads = {.useCapePayloads = true, .forceTemplatePayloads = forceTemplate, .isLeftHanded = isLeftHanded},
        .lightweightRefresh = lightweight};
    auto result = registerAndActivate(connectionID, marker, capes, options);
    auto after = GlobalCursorReading::take(runtime_, connectionID);

    // A cape that shows nothing new may be stale; a live set is the truth.
    if (!forceTemplate && !capes.empty() && !after.changedFrom(before)) {
        AppLog::warn("Cape payload apply did not change global cursor hash; retrying with live-generated payloads");
        startFromBaseline(connectionID, lightweight, "Fallback apply rebuilt empty baseline count=");
        RegistrationOptions live{.payloads = {.isLeftHanded = isLeftHanded}, .lightweightRefresh = lightweight};
        result = registerAndActivate(connectionID, marker, {}, live);
        after = GlobalCursorReading::take(runtime_, connectionID);
        AppLog::info("Fallback generated apply result appliedAny=" + LogFormat::boolean(result.appliedAny) +
                     " hashChanged=" + LogFormat::boolean(after.changedFrom(before)));
    }

    AppLog::info("apply completed. appliedAny=" + LogFormat::boolean(result.appliedAny) + after.comparedWith(before));
    if (!result.appliedAny)
        return false;
    if (languageCode && styleCode)
        capeStore_.saveCape(*languageCode, *styleCode, result.appliedCursorPayloads);
    lastAppliedStyleCode_ = styleCode;
    return true;
}

SystemCursorController::CapePayloads
SystemCursorController::loadCapes(const std::optional<std::string>& languageCode,
                                  const std::optional<std::string>& styleCode) const
{
    CapePayloads capes;
    if (languageCode && styleCode) {
        if (auto loaded = capeStore_.loadCape(*languageCode, *styleCode))
            capes = std::move(*loaded);
    }
    if (!capes.empty())
        AppLog::info("apply using cape payloads: language=" + *languageCode + " style=" + *styleCode +
                     " cursors=" + std::to_string(capes.size()));
    return capes;
}

void SystemCursorController::startFromBaseline(std::int32_t connectionID, bool lightweightRefresh,
                                               const std::string& rebuiltWarning)
{
    if (!lightweightRefresh)
        runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);
    store_.resetWorkingSnapshots(rebuiltWarning);
}

SystemCursorController::RegistrationResult
SystemCursorController::registerAndActivate(std::int32_t connectionID, const std::optional<CursorMarker>& marker,
                                            const CapePayloads& capePayloads, const RegistrationOptions& options)
{
    return registrar_.registerAndActivate(connectionID, marker, capePayloads, options);
}

std::optional<ResolvedPayload>
SystemCursorController::resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                                     const CapePayloads& capePayloads,
                                                     const PayloadOptions& options) const
{
    return resolver_.resolveCanonicalArrowPayload(marker, capePayloads, options);
}

bool SystemCursorController::restoreOriginal()
{
    if (!isRuntimeAvailable_ || !connectionID_) {
        AppLog::error("restoreOriginal skipped: runtime unavailable");
        return false;
    }
    std::int32_t connectionID = *connectionID_;
    auto before = GlobalCursorReading::take(runtime_, connectionID);
    lastAppliedStyleCode_.reset();
    activator_->cancelPendingReactivations();
    bool resetOK = runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);

    store_.resetWorkingSnapshots("restoreOriginal rebuilt empty baseline count=");
    int restored = store_.baselineSnapshots().empty() ? 0 : store_.restoreBaselineAliases(connectionID);
    activator_->activateRestoredArrow(connectionID);
    scale_.restoreBaseline(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.refreshCursorDisplay(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);

    auto after = GlobalCursorReading::take(runtime_, connectionID);
    AppLog::info("restoreOriginal completed. resetOK=" + LogFormat::boolean(resetOK) +
                 " baselineRestoreCount=" + std::to_string(restored) + after.comparedWith(before));
    return resetOK && restored > 0;
}

void SystemCursorController::invalidateCapeCache()
{
    capeStore_.removeAllCapes();
    lastAppliedStyleCode_.reset();
    AppLog::info("Cape cache invalidated; next apply will rebuild all payloads");
}

void SystemCursorController::activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                                       const std::optional<std::string>& canonicalSourceIdentifier)
{
    activator_->activateRegisteredCursors(connectionID, lightweightRefresh, canonicalSourceIdentifier);
}

std::map<std::string, std::vector<std::uint8_t>>
SystemCursorController::cursorBytesForArrowIdentifiers(std::int32_t connectionID) const
{
    return probe_.cursorBytesForArrowIdentifiers(connectionID);
}

std::optional<CursorTemplate> SystemCursorController::templateForIdentifier(const std::string& identifier) const
{
    return catalogue_.templateForIdentifier(identifier);
}

std::optional<std::int32_t> SystemCursorController::systemCursorID(const std::string& identifier) const
{
    return catalogue_.systemCursorID(identifier);
}

std::string SystemCursorController::preferredFinalArrowIdentifier(const std::string& fallback) const
{
    return catalogue_.preferredFinalArrowIdentifier(fallback);
}

std::vector<std::string>
SystemCursorController::targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers) const
{
    return store_.targetIdentifiersForApply(additionalIdentifiers);
}

const std::map<CursorRole, std::vector<std::string>>& SystemCursorController::roleIdentifiers() const
{
    return catalogue_.roleIdentifiers();
}

const std::vector<std::int32_t>& SystemCursorController::forcedActivationCursorIDs() const
{
    return catalogue_.forcedActivationCursorIDs();
}

const std::map<std::string, std::int32_t>& SystemCursorController::systemCursorIDByName() const
{
    return catalogue_.systemCursorIDByName();
}
