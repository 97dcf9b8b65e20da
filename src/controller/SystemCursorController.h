#pragma once

#include "capes/CursorCapeStore.h"
#include "controller/BaselineStore.h"
#include "controller/CursorActivator.h"
#include "controller/CursorCatalogue.h"
#include "controller/CursorRegistrar.h"
#include "controller/CursorRole.h"
#include "controller/CursorScale.h"
#include "controller/OverrideProbe.h"
#include "controller/PayloadOptions.h"
#include "controller/PayloadResolver.h"
#include "controller/RegistrationOptions.h"
#include "controller/RegistrationResult.h"
#include "controller/ResolvedPayload.h"
#include "language/CursorMarker.h"
#include "render/CursorTemplate.h"
#include "runtime/CGSRuntime.h"
#include "runtime/CursorSnapshot.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The one object that knows which window-server cursor names stand for the
// arrow, the I-beam and the pointing hand, keeps the cursors it found at
// start-up, installs badged sets and puts the originals back. Its parts do
// the work: the catalogue of names, the baseline store, the payload resolver,
// the registrar, the activator, the cursor scale and the start-up override
// probe.
class SystemCursorController {
public:
    static constexpr std::int32_t maxTrackedCursorID = CursorCatalogue::maxTrackedCursorID;
    static constexpr std::int32_t nameDiscoveryBound = CursorCatalogue::nameDiscoveryBound;
    static constexpr std::int32_t entryDiscoveryBound = CursorCatalogue::entryDiscoveryBound;

    static constexpr const std::vector<std::string>& animatedSystemCursorIdentifiers =
        CursorCatalogue::animatedSystemCursorIdentifiers;
    static constexpr const std::vector<std::string>& finalArrowPreference = CursorCatalogue::finalArrowPreference;
    static constexpr const std::vector<std::string>& baselineArrowOrder = CursorCatalogue::baselineArrowOrder;
    static constexpr const std::vector<std::string>& canonicalArrowOrder = CursorCatalogue::canonicalArrowOrder;
    static constexpr const std::vector<std::string>& arrowPrimingExtras = CursorCatalogue::arrowPrimingExtras;

    // Does all start-up work: tables, normalisation, baseline capture and
    // validation, and the test whether overriding the arrow shows at all.
    SystemCursorController(CGSRuntime& runtime, CursorCapeStore& capeStore, ActivationSwitches switches);
    SystemCursorController(const SystemCursorController&) = delete;
    SystemCursorController& operator=(const SystemCursorController&) = delete;

    bool isRuntimeAvailable() const { return isRuntimeAvailable_; }
    bool isVerifiedFunctional() const { return probe_.isVerifiedFunctional(); }
    bool isGlobalCursorPathEffective() const { return probe_.isGlobalCursorPathEffective(); }

    using CapePayloads = ::CapePayloads;
    using RegistrationResult = ::RegistrationResult;

    // Installs the style's badge (none for the system style) on every tracked
    // cursor, mirrored for left-handed use, and saves the set as a cape;
    // without a badge and right-handed it restores the originals instead.
    // True when at least one cursor was registered.
    bool apply(const std::optional<CursorMarker>& marker, const std::optional<std::string>& languageCode,
               const std::optional<std::string>& styleCode, bool isLeftHanded);
    // One registration pass over every target name, then the activation.
    RegistrationResult registerAndActivate(std::int32_t connectionID, const std::optional<CursorMarker>& marker,
                                           const CapePayloads& capePayloads, const RegistrationOptions& options);
    // The payload every arrow name falls back on when its own would be weak.
    std::optional<ResolvedPayload> resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                                                const CapePayloads& capePayloads,
                                                                const PayloadOptions& options) const;
    bool restoreOriginal();
    void invalidateCapeCache();

    // The tail of every registration pass: makes the decorated arrow current,
    // pushes the optional numbered activations, refreshes and, unless the
    // refresh is lightweight, re-asserts the arrow three times shortly after.
    void activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                   const std::optional<std::string>& canonicalSourceIdentifier);
    void applyDecoratedCursorScale(std::int32_t connectionID) { scale_.applyDecorated(connectionID); }

    void captureOriginalCursors() { store_.captureOriginalCursors(); }
    void validateAndFixBaselineSnapshots() { store_.validateAndFixBaselineSnapshots(); }
    std::map<std::string, std::vector<std::uint8_t>> cursorBytesForArrowIdentifiers(std::int32_t connectionID) const;

    std::optional<std::string> primaryIdentifier(CursorRole role) const { return store_.primaryIdentifier(role); }
    std::optional<CursorTemplate> templateForIdentifier(const std::string& identifier) const;
    std::optional<std::int32_t> systemCursorID(const std::string& identifier) const;
    std::string preferredFinalArrowIdentifier(const std::string& fallback) const;
    std::vector<std::string>
    targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers = {}) const;

    static std::vector<std::string> deduplicated(const std::vector<std::string>& identifiers)
    {
        return CursorCatalogue::deduplicated(identifiers);
    }
    static bool isAnimatedIdentifier(const std::string& identifier)
    {
        return CursorCatalogue::isAnimatedIdentifier(identifier);
    }
    // The desktop's stock cursor of a template, without images: callers pair
    // it with images drawn from the same stock cursor.
    static CursorSnapshot syntheticSnapshot(CursorTemplate cursorTemplate)
    {
        return PayloadResolver::syntheticSnapshot(cursorTemplate);
    }
    // The desktop's stock cursor of a role with its one image, the yardstick
    // for captured snapshots; none when the stock cursor has no image.
    static std::optional<CursorSnapshot> nsCursorSnapshot(CursorRole role)
    {
        return BaselineStore::nsCursorSnapshot(role);
    }
    // Whether a captured snapshot S plausibly shows its role, judged against
    // the stock cursor R of that role.
    static bool isSnapshotConsistentWithRole(CursorRole role, const CursorSnapshot& snapshot,
                                             const CursorSnapshot& reference)
    {
        return BaselineStore::isSnapshotConsistentWithRole(role, snapshot, reference);
    }

    const std::optional<std::int32_t>& connectionID() const { return connectionID_; }
    const std::map<CursorRole, std::vector<std::string>>& roleIdentifiers() const;
    const std::vector<std::string>& allIdentifiers() const { return catalogue_.allIdentifiers(); }
    const std::map<std::string, CursorSnapshot>& snapshots() const { return store_.snapshots(); }
    const std::map<std::string, CursorSnapshot>& baselineSnapshots() const { return store_.baselineSnapshots(); }
    const std::vector<std::int32_t>& forcedActivationCursorIDs() const;
    const std::map<std::string, std::int32_t>& systemCursorIDByName() const;
    std::optional<float> baselineCursorScale() const { return scale_.baseline(); }
    const std::optional<std::string>& lastAppliedStyleCode() const { return lastAppliedStyleCode_; }
    bool useLegacySystemIDActivation() const { return activator_->switches().useLegacySystemIDActivation; }
    bool useCoreSweepActivation() const { return activator_->switches().useCoreSweepActivation; }
    bool useSystemDefinedActivation() const { return activator_->switches().useSystemDefinedActivation; }

private:
    void logConfiguration() const;
    CapePayloads loadCapes(const std::optional<std::string>& languageCode,
                           const std::optional<std::string>& styleCode) const;
    // A full apply starts from the system's own cursors; either starts from
    // the baseline snapshots.
    void startFromBaseline(std::int32_t connectionID, bool lightweightRefresh, const std::string& rebuiltWarning);

    CGSRuntime& runtime_;
    CursorCapeStore& capeStore_;
    // Taken once at construction; never changes.
    std::optional<std::int32_t> connectionID_;
    bool isRuntimeAvailable_ = false;
    // The parts, in the order they are built.
    CursorCatalogue catalogue_;
    CursorScale scale_;
    BaselineStore store_;
    PayloadResolver resolver_;
    std::shared_ptr<CursorActivator> activator_;
    CursorRegistrar registrar_;
    OverrideProbe probe_;
    std::optional<std::string> lastAppliedStyleCode_;
};
