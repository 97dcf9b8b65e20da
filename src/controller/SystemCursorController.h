#pragma once

#include "capes/CursorCapeStore.h"
#include "controller/CursorRole.h"
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
// start-up, and puts them back. Lives in a std::shared_ptr: the delayed
// re-activations after an activation hold it weakly.
class SystemCursorController : public std::enable_shared_from_this<SystemCursorController> {
public:
    static constexpr std::int32_t maxTrackedCursorID = 44;
    static constexpr std::int32_t nameDiscoveryBound = 128;
    static constexpr std::int32_t entryDiscoveryBound = 512;

    static const std::vector<std::string> animatedSystemCursorIdentifiers;
    static const std::vector<std::string> finalArrowPreference;
    static const std::vector<std::string> baselineArrowOrder;
    static const std::vector<std::string> canonicalArrowOrder;
    static const std::vector<std::string> arrowPrimingExtras;

    // Does all start-up work: tables, normalisation, baseline capture and
    // validation, and the test whether overriding the arrow shows at all.
    SystemCursorController(CGSRuntime& runtime, CursorCapeStore& capeStore);
    SystemCursorController(const SystemCursorController&) = delete;
    SystemCursorController& operator=(const SystemCursorController&) = delete;

    bool isRuntimeAvailable() const { return isRuntimeAvailable_; }
    bool isVerifiedFunctional() const { return isVerifiedFunctional_; }
    bool isGlobalCursorPathEffective() const { return isGlobalCursorPathEffective_; }

    // Cursor name -> the cape entry loaded for it.
    using CapePayloads = std::map<std::string, CursorCapeStore::CursorPayload>;
    struct RegistrationResult {
        bool appliedAny = false;
        // Every name registered in the pass, as the cape store saves it.
        CursorCapeStore::Cursors appliedCursorPayloads;
    };

    // Installs the style's badge (none for the system style) on every tracked
    // cursor, mirrored for left-handed use, and saves the set as a cape;
    // without a badge and right-handed it restores the originals instead.
    // True when at least one cursor was registered.
    bool apply(const std::optional<CursorMarker>& marker, const std::optional<std::string>& languageCode,
               const std::optional<std::string>& styleCode, bool isLeftHanded);
    // One registration pass over every target name, then the activation.
    RegistrationResult registerAndActivate(std::int32_t connectionID, const std::optional<CursorMarker>& marker,
                                           const CapePayloads& capePayloads, bool useCapePayloads,
                                           bool forceTemplatePayloads, bool lightweightRefresh, bool isLeftHanded);
    // The payload every arrow name falls back on when its own would be weak.
    std::optional<ResolvedPayload> resolveCanonicalArrowPayload(const std::optional<CursorMarker>& marker,
                                                                const CapePayloads& capePayloads, bool useCapePayloads,
                                                                bool forceTemplatePayloads, bool isLeftHanded) const;
    bool restoreOriginal();
    void invalidateCapeCache();

    // The tail of every registration pass: makes the decorated arrow current,
    // pushes the optional numbered activations, refreshes and, unless the
    // refresh is lightweight, re-asserts the arrow three times shortly after.
    void activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                   const std::optional<std::string>& canonicalSourceIdentifier);
    void applyDecoratedCursorScale(std::int32_t connectionID);

    void captureOriginalCursors();
    void validateAndFixBaselineSnapshots();
    std::map<std::string, std::vector<std::uint8_t>> cursorBytesForArrowIdentifiers(std::int32_t connectionID);

    std::optional<std::string> primaryIdentifier(CursorRole role) const;
    std::optional<CursorTemplate> templateForIdentifier(const std::string& identifier) const;
    std::optional<std::int32_t> systemCursorID(const std::string& identifier) const;
    std::string preferredFinalArrowIdentifier(const std::string& fallback) const;
    std::vector<std::string> targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers = {}) const;

    static std::vector<std::string> deduplicated(const std::vector<std::string>& identifiers);
    static bool isAnimatedIdentifier(const std::string& identifier);
    // The desktop's stock cursor of a template, without images: callers pair
    // it with images drawn from the same stock cursor.
    static CursorSnapshot syntheticSnapshot(CursorTemplate cursorTemplate);
    // The desktop's stock cursor of a role with its one image, the yardstick
    // for captured snapshots; none when the stock cursor has no image.
    static std::optional<CursorSnapshot> nsCursorSnapshot(CursorRole role);
    // Whether a captured snapshot S plausibly shows its role, judged against
    // the stock cursor R of that role.
    static bool isSnapshotConsistentWithRole(CursorRole role, const CursorSnapshot& snapshot,
                                             const CursorSnapshot& reference);

    const std::optional<std::int32_t>& connectionID() const { return connectionID_; }
    const std::map<CursorRole, std::vector<std::string>>& roleIdentifiers() const { return roleIdentifiers_; }
    const std::vector<std::string>& allIdentifiers() const { return allIdentifiers_; }
    const std::map<std::string, CursorSnapshot>& snapshots() const { return snapshots_; }
    const std::map<std::string, CursorSnapshot>& baselineSnapshots() const { return baselineSnapshots_; }
    const std::vector<std::int32_t>& forcedActivationCursorIDs() const { return forcedActivationCursorIDs_; }
    const std::map<std::string, std::int32_t>& systemCursorIDByName() const { return systemCursorIDByName_; }
    std::optional<float> baselineCursorScale() const { return baselineCursorScale_; }
    const std::optional<std::string>& lastAppliedStyleCode() const { return lastAppliedStyleCode_; }
    bool useLegacySystemIDActivation() const { return useLegacySystemIDActivation_; }
    bool useCoreSweepActivation() const { return useCoreSweepActivation_; }
    bool useSystemDefinedActivation() const { return useSystemDefinedActivation_; }

private:
    static std::map<CursorRole, std::vector<std::string>> buildRoleIdentifiers(CGSRuntime& runtime);
    static std::vector<std::string> buildAllIdentifiers(CGSRuntime& runtime,
                                                        const std::map<CursorRole, std::vector<std::string>>& roles);
    static std::vector<std::int32_t>
    buildForcedActivationCursorIDs(CGSRuntime& runtime, const std::map<CursorRole, std::vector<std::string>>& roles);
    static std::map<std::string, std::int32_t> buildSystemCursorIDByName(CGSRuntime& runtime);

    void logConfiguration() const;
    void normalizeSystemCursorBeforeBaselineCapture(std::int32_t connectionID);
    void validateOverrideWorks();
    std::optional<CursorSnapshot> resolveBaselineArrowSnapshot() const;
    int restoreBaselineAliases(std::int32_t connectionID);
    void activateSystemDefinedCursor(std::int32_t connectionID, std::int32_t cursorID);
    void activateCoreCursor(std::int32_t connectionID, std::int32_t cursorID);
    void sweepCoreCursors(std::int32_t connectionID, const std::optional<std::int32_t>& systemID);
    void scheduleReactivations(std::int32_t connectionID, const std::string& finalArrow,
                               const std::optional<std::int32_t>& systemID);
    std::optional<ResolvedPayload> resolveDirectPayload(const std::string& identifier,
                                                        const std::optional<CursorMarker>& marker,
                                                        const CapePayloads& capePayloads, bool useCapePayloads,
                                                        bool forceTemplatePayloads, bool isLeftHanded) const;
    // Every apply starts from the baseline, so badges never stack.
    void resetWorkingSnapshots(const std::string& rebuiltWarning);
    void reactivate(std::int32_t connectionID, const std::string& finalArrow, const std::optional<std::int32_t>& systemID,
                    bool withSystemDefined, std::uint64_t scheduledInRestoreGeneration);

    CGSRuntime& runtime_;
    CursorCapeStore& capeStore_;
    std::optional<std::int32_t> connectionID_;
    std::map<CursorRole, std::vector<std::string>> roleIdentifiers_;
    std::vector<std::string> allIdentifiers_;
    std::map<std::string, CursorSnapshot> snapshots_;
    std::map<std::string, CursorSnapshot> baselineSnapshots_;
    std::vector<std::int32_t> forcedActivationCursorIDs_;
    std::map<std::string, std::int32_t> systemCursorIDByName_;
    std::optional<float> baselineCursorScale_;
    bool isRuntimeAvailable_ = false;
    bool isVerifiedFunctional_ = false;
    bool isGlobalCursorPathEffective_ = false;
    std::optional<std::string> lastAppliedStyleCode_;
    bool useLegacySystemIDActivation_ = false;
    bool useCoreSweepActivation_ = false;
    bool useSystemDefinedActivation_ = false;
    // Counts restores. A re-activation scheduled before the latest restore
    // would put the decorated scale back over the restored cursors.
    std::uint64_t restoreGeneration_ = 0;
};
