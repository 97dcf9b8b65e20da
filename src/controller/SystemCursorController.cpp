#include "controller/SystemCursorController.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "base/Text.h"
#include "capes/CursorCapeStore.h"
#include "language/CursorMarker.h"
#include "platform/runloop/RunLoop.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/CursorRenderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>

namespace {

const std::string numberedCursorPrefix = "com.apple.cursor.";
const std::string defaultFinalArrow = "com.apple.coregraphics.GlobalCurrent";

bool switchIsOn(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && std::string(value) == "1";
}

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

void append(std::vector<std::string>& list, const std::vector<std::string>& more)
{
    list.insert(list.end(), more.begin(), more.end());
}

std::string joined(const std::vector<std::string>& pieces)
{
    std::string text;
    for (const auto& piece : pieces)
        text += (text.empty() ? "" : ", ") + piece;
    return text;
}

std::optional<std::int32_t> parseInt32(const std::string& text)
{
    std::size_t at = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (at == text.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return std::nullopt;
    }
    std::int64_t value = text[0] == '-' ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// "com.apple.cursor.13" names numbered cursor 13: the last non-empty piece
// after splitting at the dots.
std::optional<std::int32_t> numberInCursorName(const std::string& identifier)
{
    if (!startsWith(identifier, numberedCursorPrefix))
        return std::nullopt;
    auto end = identifier.find_last_not_of('.');
    if (end == std::string::npos)
        return std::nullopt;
    auto begin = identifier.rfind('.', end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return parseInt32(identifier.substr(begin, end + 1 - begin));
}

bool isTrackedCoreID(const std::optional<std::int32_t>& id)
{
    return id && *id >= 0 && *id <= SystemCursorController::maxTrackedCursorID;
}

std::string sizeText(const CGSize& size)
{
    return LogFormat::number(size.width) + "x" + LogFormat::number(size.height);
}

std::string pointText(const CGPoint& point)
{
    return "(" + LogFormat::number(point.x) + "," + LogFormat::number(point.y) + ")";
}

StockCursor::Shape stockShape(CursorRole role)
{
    switch (role) {
    case CursorRole::iBeam:
        return StockCursor::Shape::iBeam;
    case CursorRole::pointingHand:
        return StockCursor::Shape::pointingHand;
    case CursorRole::arrow:
        break;
    }
    return StockCursor::Shape::arrow;
}

// A plain pink disc: whatever it is drawn on, the pixels differ from the
// original arrow's.
CursorMarker overrideTestMarker()
{
    return CursorMarker{std::nullopt, Color::systemPink(), Color::clear(), Color::white(), 10.0, 1.0};
}

bool hasPositiveSize(const CursorSnapshot& snapshot)
{
    return snapshot.size.width > 0 && snapshot.size.height > 0;
}

}

const std::vector<std::string> SystemCursorController::animatedSystemCursorIdentifiers{
    "com.apple.coregraphics.wait", "com.apple.cursor.4", "com.apple.cursor.14", "com.apple.cursor.15",
    "com.apple.cursor.16",
};

const std::vector<std::string> SystemCursorController::finalArrowPreference{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.coregraphics.Arrow",         "com.apple.coregraphics.ArrowS",
    "com.apple.coregraphics.ArrowCtx",      "com.apple.cursor.0",
    "com.apple.cursor.6",                   "com.apple.cursor.100",
};

const std::vector<std::string> SystemCursorController::baselineArrowOrder{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.cursor.0",                   "com.apple.coregraphics.Arrow",
    "com.apple.cursor.6",                   "com.apple.coregraphics.ArrowCtx",
    "com.apple.cursor.100",                 "com.apple.coregraphics.ArrowS",
};

const std::vector<std::string> SystemCursorController::canonicalArrowOrder{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.cursor.0",                   "com.apple.coregraphics.Arrow",
    "com.apple.cursor.100",                 "com.apple.coregraphics.ArrowS",
    "com.apple.cursor.6",                   "com.apple.coregraphics.ArrowCtx",
};

const std::vector<std::string> SystemCursorController::arrowPrimingExtras{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.coregraphics.Arrow",         "com.apple.coregraphics.ArrowS",
    "com.apple.coregraphics.ArrowCtx",      "com.apple.cursor.0",
    "com.apple.cursor.100",                 "com.apple.cursor.6",
};

// Construction

SystemCursorController::SystemCursorController(CGSRuntime& runtime, CursorCapeStore& capeStore)
    : runtime_(runtime), capeStore_(capeStore)
{
    useLegacySystemIDActivation_ = switchIsOn("ORVELLE_ENABLE_LEGACY_ID_ACTIVATION");
    useCoreSweepActivation_ = switchIsOn("ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION");
    useSystemDefinedActivation_ = switchIsOn("ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION");

    connectionID_ = runtime_.mainConnectionID();
    isRuntimeAvailable_ = runtime_.mainConnectionIDFn && runtime_.registerCursorWithImagesFn &&
                          runtime_.copyRegisteredCursorImagesFn && runtime_.setRegisteredCursorFn && connectionID_;

    roleIdentifiers_ = buildRoleIdentifiers(runtime_);
    allIdentifiers_ = buildAllIdentifiers(runtime_, roleIdentifiers_);
    forcedActivationCursorIDs_ = buildForcedActivationCursorIDs(runtime_, roleIdentifiers_);
    systemCursorIDByName_ = buildSystemCursorIDByName(runtime_);

    if (connectionID_)
        baselineCursorScale_ = runtime_.cursorScale(*connectionID_);
    logConfiguration();

    if (connectionID_)
        normalizeSystemCursorBeforeBaselineCapture(*connectionID_);
    captureOriginalCursors();
    validateAndFixBaselineSnapshots();
    baselineSnapshots_ = snapshots_;
    AppLog::info("Baseline snapshots captured: " + std::to_string(baselineSnapshots_.size()));
    validateOverrideWorks();
    AppLog::info("SystemCursorController verification result: byteOverride=" +
                 LogFormat::boolean(isVerifiedFunctional_) +
                 " globalPath=" + LogFormat::boolean(isGlobalCursorPathEffective_));
}

std::map<CursorRole, std::vector<std::string>> SystemCursorController::buildRoleIdentifiers(CGSRuntime& runtime)
{
    std::map<CursorRole, std::vector<std::string>> roles;
    for (CursorRole role : allCursorRoles) {
        std::vector<std::string> identifiers = legacyIdentifiers(role);
        if (role == CursorRole::arrow)
            append(identifiers, runtime.discoverSystemCursorNames("arrow", nameDiscoveryBound));
        else if (role == CursorRole::iBeam)
            append(identifiers, runtime.discoverSystemCursorNames("ibeam", nameDiscoveryBound));
        roles[role] = deduplicated(identifiers);
    }
    return roles;
}

std::vector<std::string>
SystemCursorController::buildAllIdentifiers(CGSRuntime& runtime, const std::map<CursorRole, std::vector<std::string>>& roles)
{
    std::vector<std::string> identifiers;
    for (const auto& [role, list] : roles)
        append(identifiers, list);
    append(identifiers, runtime.discoverSystemCursorNames("com.apple.", nameDiscoveryBound));
    for (std::int32_t id = 0; id <= maxTrackedCursorID; ++id)
        identifiers.push_back(numberedCursorPrefix + std::to_string(id));
    return deduplicated(identifiers);
}

std::vector<std::int32_t>
SystemCursorController::buildForcedActivationCursorIDs(CGSRuntime& runtime,
                                                       const std::map<CursorRole, std::vector<std::string>>& roles)
{
    auto entries = runtime.discoverSystemCursorEntries(entryDiscoveryBound);
    std::set<std::int32_t> discovered;
    for (const auto& entry : entries)
        discovered.insert(entry.id);
    std::set<std::int32_t> result = discovered;
    if (discovered.empty())
        result.insert({0, 1, 6, 100, 101});

    for (CursorRole role : allCursorRoles) {
        auto list = roles.find(role);
        if (list == roles.end())
            continue;
        for (const auto& identifier : list->second) {
            auto id = numberInCursorName(identifier);
            if (id && (discovered.empty() || discovered.count(*id)))
                result.insert(*id);
        }
    }

    std::set<std::string> arrowAndIBeamNames;
    for (CursorRole role : {CursorRole::arrow, CursorRole::iBeam}) {
        auto list = roles.find(role);
        if (list != roles.end())
            for (const auto& identifier : list->second)
                arrowAndIBeamNames.insert(lowercased(identifier));
    }
    for (const auto& entry : entries) {
        std::string name = lowercased(entry.name);
        if (name.find("arrow") != std::string::npos || name.find("ibeam") != std::string::npos ||
            arrowAndIBeamNames.count(name))
            result.insert(entry.id);
    }
    return {result.begin(), result.end()};
}

std::map<std::string, std::int32_t> SystemCursorController::buildSystemCursorIDByName(CGSRuntime& runtime)
{
    static const std::vector<std::pair<std::string, std::int32_t>> aliases{
        {"com.apple.coregraphics.arrow", 0},     {"com.apple.coregraphics.globalcurrent", 0},
        {"com.apple.coregraphics.connectioncurrent", 0}, {"com.apple.coregraphics.arrowctx", 6},
        {"com.apple.coregraphics.arrows", 100},
    };
    std::map<std::string, std::int32_t> byName;
    for (const auto& entry : runtime.discoverSystemCursorEntries(entryDiscoveryBound)) {
        byName[lowercased(entry.name)] = entry.id;
        byName[numberedCursorPrefix + std::to_string(entry.id)] = entry.id;
    }
    for (const auto& [name, id] : aliases)
        byName.emplace(name, id);
    return byName;
}

void SystemCursorController::logConfiguration() const
{
    AppLog::info("SystemCursorController init. runtimeAvailable=" + LogFormat::boolean(isRuntimeAvailable_) +
                 " connectionID=" + LogFormat::optional(connectionID_));
    AppLog::info("SystemCursorController config maxTrackedCursorID=" + std::to_string(maxTrackedCursorID));
    AppLog::info("SystemCursorController config useCoreSweepActivation=" + LogFormat::boolean(useCoreSweepActivation_));
    AppLog::info("SystemCursorController config useSystemDefinedActivation=" +
                 LogFormat::boolean(useSystemDefinedActivation_));
    AppLog::info("Baseline cursor scale: " + LogFormat::optional(baselineCursorScale_));
    for (CursorRole role : allCursorRoles)
        AppLog::info("Identifiers for " + std::string(cursorRoleName(role)) + ": " + joined(roleIdentifiers_.at(role)));
    std::vector<std::string> ids;
    for (std::int32_t id : forcedActivationCursorIDs_)
        ids.push_back(std::to_string(id));
    AppLog::info("Forced activation cursor IDs: " + joined(ids));
    AppLog::info("Total discovered cursor identifiers: " + std::to_string(allIdentifiers_.size()));
}

void SystemCursorController::normalizeSystemCursorBeforeBaselineCapture(std::int32_t connectionID)
{
    bool resetOK = runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);
    std::string finalArrow = preferredFinalArrowIdentifier(defaultFinalArrow);
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    if (useCoreSweepActivation_) {
        auto id = systemCursorID(finalArrow);
        activateCoreCursor(connectionID, isTrackedCoreID(id) ? *id : 0);
    }
    if (useSystemDefinedActivation_)
        activateSystemDefinedCursor(connectionID, systemCursorID(finalArrow).value_or(0));
    runtime_.refreshCursorDisplay(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
    AppLog::info("normalizeSystemCursorBeforeBaselineCapture completed. resetOK=" + LogFormat::boolean(resetOK) +
                 " finalArrow=" + finalArrow);
}

// Baseline capture and validation

void SystemCursorController::captureOriginalCursors()
{
    if (!isRuntimeAvailable_ || !connectionID_)
        return;
    int captured = 0;
    for (const auto& identifier : allIdentifiers_) {
        if (snapshots_.count(identifier))
            continue;
        if (auto snapshot = runtime_.snapshotCursor(*connectionID_, identifier)) {
            snapshots_[identifier] = std::move(*snapshot);
            ++captured;
        }
    }
    AppLog::info("captureOriginalCursors completed. captured=" + std::to_string(captured));
}

void SystemCursorController::validateAndFixBaselineSnapshots()
{
    for (CursorRole role : allCursorRoles) {
        auto reference = nsCursorSnapshot(role);
        if (!reference) {
            AppLog::warn("nsCursorSnapshot: failed to get CGImage for " + std::string(cursorRoleName(role)));
            continue;
        }
        for (const auto& identifier : roleIdentifiers_.at(role)) {
            auto found = snapshots_.find(identifier);
            if (found == snapshots_.end() || isSnapshotConsistentWithRole(role, found->second, *reference))
                continue;
            const CursorSnapshot& captured = found->second;
            AppLog::warn("Baseline validation FAILED for " + std::string(cursorRoleName(role)) + " alias " +
                         identifier + ": captured=" + sizeText(captured.size) +
                         " hotspot=" + pointText(captured.hotSpot) + " reference=" + sizeText(reference->size) +
                         " hotspot=" + pointText(reference->hotSpot) + ". Replacing with NSCursor reference.");
            found->second = *reference;
        }
    }
}

std::optional<CursorSnapshot> SystemCursorController::nsCursorSnapshot(CursorRole role)
{
    StockCursor stock = StockCursor::load(stockShape(role));
    auto image = stock.image();
    if (!image)
        return std::nullopt;
    return CursorSnapshot{stock.size(), stock.hotSpot(), 1, 0, {image}};
}

bool SystemCursorController::isSnapshotConsistentWithRole(CursorRole role, const CursorSnapshot& snapshot,
                                                          const CursorSnapshot& reference)
{
    if (!hasPositiveSize(snapshot))
        return false;
    if (!hasPositiveSize(reference))
        return true;
    double nx = snapshot.hotSpot.x / snapshot.size.width;
    double ny = snapshot.hotSpot.y / snapshot.size.height;
    double rx = reference.hotSpot.x / reference.size.width;
    double ry = reference.hotSpot.y / reference.size.height;
    double deviation = std::max(std::abs(nx - rx), std::abs(ny - ry));
    if (deviation > 0.4) {
        AppLog::debug("isSnapshotConsistentWithRole: " + std::string(cursorRoleName(role)) +
                      " hotspot deviation=" + LogFormat::number(deviation));
        return false;
    }
    switch (role) {
    case CursorRole::arrow:
        return !(nx > 0.6 || ny > 0.6 || 2 * snapshot.size.height < snapshot.size.width);
    case CursorRole::iBeam:
        return !(snapshot.size.height < snapshot.size.width);
    case CursorRole::pointingHand:
        return !(ny > 0.7);
    }
    return true;
}

std::map<std::string, std::vector<std::uint8_t>>
SystemCursorController::cursorBytesForArrowIdentifiers(std::int32_t connectionID)
{
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    for (const auto& identifier : roleIdentifiers_.at(CursorRole::arrow)) {
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

void SystemCursorController::validateOverrideWorks()
{
    auto arrowID = primaryIdentifier(CursorRole::arrow);
    if (!isRuntimeAvailable_ || !connectionID_ || !arrowID || !snapshots_.count(*arrowID))
        return;
    std::int32_t connectionID = *connectionID_;
    const auto& arrowNames = roleIdentifiers_.at(CursorRole::arrow);

    auto before = cursorBytesForArrowIdentifiers(connectionID);
    auto hashBefore = runtime_.currentCursorFingerprint(connectionID);
    AppLog::info("validateOverrideWorks start: arrowAliasesWithBytes=" + std::to_string(before.size()));

    auto decorated = CursorRenderer::decoratePayload(snapshots_.at(*arrowID), overrideTestMarker(),
                                                     CursorTemplate::arrow, false, false, false, false);
    for (const auto& identifier : arrowNames) {
        auto own = snapshots_.find(identifier);
        const CursorSnapshot& snap = own != snapshots_.end() ? own->second : snapshots_.at(*arrowID);
        runtime_.registerCursor(connectionID, identifier, snap, decorated.images, true, true);
    }
    if (auto primary = primaryIdentifier(CursorRole::arrow))
        runtime_.setRegisteredCursorNow(connectionID, *primary);
    runtime_.refreshCursorDisplay(connectionID);

    auto after = cursorBytesForArrowIdentifiers(connectionID);
    auto hashAfter = runtime_.currentCursorFingerprint(connectionID);
    bool globalChanged = hashBefore && hashAfter && *hashBefore != *hashAfter;

    for (const auto& identifier : arrowNames) {
        auto own = snapshots_.find(identifier);
        if (own != snapshots_.end())
            runtime_.registerCursor(connectionID, identifier, own->second, own->second.images, true, true);
    }
    if (auto primary = primaryIdentifier(CursorRole::arrow))
        runtime_.setRegisteredCursorNow(connectionID, *primary);
    runtime_.refreshCursorDisplay(connectionID);

    AppLog::info("validateOverrideWorks globalHashBefore=" + hashBefore.value_or("nil") +
                 " globalHashAfter=" + hashAfter.value_or("nil") + " globalChanged=" + LogFormat::boolean(globalChanged));

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

// Restore

std::optional<CursorSnapshot> SystemCursorController::resolveBaselineArrowSnapshot() const
{
    auto firstWithImages = [this](const std::vector<std::string>& order) -> std::optional<CursorSnapshot> {
        for (const auto& identifier : order) {
            auto found = baselineSnapshots_.find(identifier);
            if (found != baselineSnapshots_.end() && !found->second.images.empty())
                return found->second;
        }
        return std::nullopt;
    };
    if (auto snapshot = firstWithImages(baselineArrowOrder))
        return snapshot;
    return firstWithImages(roleIdentifiers_.at(CursorRole::arrow));
}

int SystemCursorController::restoreBaselineAliases(std::int32_t connectionID)
{
    const auto& arrowNames = roleIdentifiers_.at(CursorRole::arrow);
    auto baselineArrow = resolveBaselineArrowSnapshot();
    std::vector<std::string> targets = allIdentifiers_;
    append(targets, targetIdentifiersForApply());
    targets = deduplicated(targets);

    int restored = 0;
    for (const auto& identifier : targets) {
        const CursorSnapshot* snapshot = nullptr;
        auto own = baselineSnapshots_.find(identifier);
        if (own != baselineSnapshots_.end())
            snapshot = &own->second;
        else if (baselineArrow && contains(arrowNames, identifier))
            snapshot = &*baselineArrow;
        if (!snapshot || snapshot->images.empty())
            continue;
        if (runtime_.registerCursor(connectionID, identifier, *snapshot, snapshot->images, true, true))
            ++restored;
    }
    AppLog::info("restoreBaselineAliases completed. restored=" + std::to_string(restored) +
                 " baseline=" + std::to_string(baselineSnapshots_.size()) + " targets=" + std::to_string(targets.size()));
    return restored;
}

bool SystemCursorController::restoreOriginal()
{
    if (!isRuntimeAvailable_ || !connectionID_) {
        AppLog::error("restoreOriginal skipped: runtime unavailable");
        return false;
    }
    std::int32_t connectionID = *connectionID_;
    auto seedBefore = runtime_.currentCursorSeed();
    auto hashBefore = runtime_.currentCursorFingerprint(connectionID);
    lastAppliedStyleCode_.reset();
    ++restoreGeneration_;
    bool resetOK = runtime_.hardResetSystemCursors(connectionID, maxTrackedCursorID);

    if (!baselineSnapshots_.empty()) {
        snapshots_ = baselineSnapshots_;
    } else {
        snapshots_.clear();
        captureOriginalCursors();
        baselineSnapshots_ = snapshots_;
        AppLog::warn("restoreOriginal rebuilt empty baseline count=" + std::to_string(baselineSnapshots_.size()));
    }
    int restored = baselineSnapshots_.empty() ? 0 : restoreBaselineAliases(connectionID);

    std::string finalArrow = preferredFinalArrowIdentifier(primaryIdentifier(CursorRole::arrow).value_or(defaultFinalArrow));
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    auto id = systemCursorID(finalArrow);
    if (useCoreSweepActivation_ && isTrackedCoreID(id)) {
        activateCoreCursor(connectionID, *id);
        if (useSystemDefinedActivation_)
            activateSystemDefinedCursor(connectionID, *id);
    } else if (useSystemDefinedActivation_ && id) {
        activateSystemDefinedCursor(connectionID, *id);
    }

    if (!baselineCursorScale_)
        baselineCursorScale_ = runtime_.cursorScale(connectionID);
    if (baselineCursorScale_) {
        runtime_.setCursorScale(connectionID, *baselineCursorScale_);
        AppLog::debug("Baseline cursor scale restored to " + LogFormat::number(*baselineCursorScale_));
    }
    runtime_.nudgeCursorScale(connectionID);
    runtime_.refreshCursorDisplay(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);

    auto seedAfter = runtime_.currentCursorSeed();
    auto hashAfter = runtime_.currentCursorFingerprint(connectionID);
    bool hashChanged = hashBefore && hashAfter && *hashBefore != *hashAfter;
    AppLog::info("restoreOriginal completed. resetOK=" + LogFormat::boolean(resetOK) +
                 " baselineRestoreCount=" + std::to_string(restored) +
                 " cursorSeedBefore=" + LogFormat::optional(seedBefore) +
                 " cursorSeedAfter=" + LogFormat::optional(seedAfter) + " cursorHashBefore=" + hashBefore.value_or("nil") +
                 " cursorHashAfter=" + hashAfter.value_or("nil") + " hashChanged=" + LogFormat::boolean(hashChanged));
    return resetOK && restored > 0;
}

void SystemCursorController::invalidateCapeCache()
{
    capeStore_.removeAllCapes();
    lastAppliedStyleCode_.reset();
    AppLog::info("Cape cache invalidated; next apply will rebuild all payloads");
}

// Activation

void SystemCursorController::activateSystemDefinedCursor(std::int32_t connectionID, std::int32_t cursorID)
{
    runtime_.setSystemDefinedCursor(connectionID, cursorID);
    runtime_.setSystemDefinedCursorWithSeed(connectionID, cursorID);
}

void SystemCursorController::activateCoreCursor(std::int32_t connectionID, std::int32_t cursorID)
{
    runtime_.setCoreCursor(connectionID, cursorID);
    runtime_.setCoreCursorWithSeed(connectionID, cursorID);
}

void SystemCursorController::activateRegisteredCursors(std::int32_t connectionID, bool lightweightRefresh,
                                                       const std::optional<std::string>& canonicalSourceIdentifier)
{
    std::vector<std::string> priming = roleIdentifiers_.at(CursorRole::arrow);
    append(priming, arrowPrimingExtras);
    std::optional<std::string> firstOK;
    for (const auto& identifier : deduplicated(priming))
        if (runtime_.setRegisteredCursorNow(connectionID, identifier) && !firstOK)
            firstOK = identifier;

    std::string fallback = firstOK ? *firstOK
                           : canonicalSourceIdentifier
                               ? *canonicalSourceIdentifier
                               : primaryIdentifier(CursorRole::arrow).value_or(defaultFinalArrow);
    std::string finalArrow = preferredFinalArrowIdentifier(fallback);
    if (!runtime_.setRegisteredCursorNow(connectionID, finalArrow) && firstOK)
        runtime_.setRegisteredCursorNow(connectionID, *firstOK);
    auto systemID = systemCursorID(finalArrow);

    if (useSystemDefinedActivation_)
        for (std::int32_t id : forcedActivationCursorIDs_)
            activateSystemDefinedCursor(connectionID, id);
    if (useLegacySystemIDActivation_)
        AppLog::warn("Legacy system ID activation flag is set, but Arrow ID priming is already active by default");
    if (useSystemDefinedActivation_ && systemID)
        activateSystemDefinedCursor(connectionID, *systemID);
    if (useCoreSweepActivation_)
        sweepCoreCursors(connectionID, systemID);

    if (lightweightRefresh) {
        runtime_.nudgeCursorScale(connectionID);
        runtime_.postSyntheticMouseMovedEvents(1);
        AppLog::info("registerAndActivate lightweight refresh (language-only switch)");
        return;
    }
    runtime_.refreshCursorDisplay(connectionID);
    applyDecoratedCursorScale(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
    scheduleReactivations(connectionID, finalArrow, systemID);
}

void SystemCursorController::sweepCoreCursors(std::int32_t connectionID, const std::optional<std::int32_t>& systemID)
{
    std::vector<std::int32_t> successes;
    for (std::int32_t id = 0; id <= maxTrackedCursorID; ++id) {
        bool ok = runtime_.setCoreCursor(connectionID, id);
        runtime_.setCoreCursorWithSeed(connectionID, id);
        if (ok)
            successes.push_back(id);
    }
    std::int32_t preferred = isTrackedCoreID(systemID) ? *systemID : 0;
    std::int32_t chosen = preferred;
    if (!successes.empty() && std::find(successes.begin(), successes.end(), preferred) == successes.end())
        chosen = successes.front();
    AppLog::info("core activation sweep completed. attempted=" + std::to_string(maxTrackedCursorID + 1) +
                 " success=" + std::to_string(successes.size()) + " preferred=" + LogFormat::optional(systemID) +
                 " chosen=" + std::to_string(chosen));
    activateCoreCursor(connectionID, chosen);
}

void SystemCursorController::scheduleReactivations(std::int32_t connectionID, const std::string& finalArrow,
                                                   const std::optional<std::int32_t>& systemID)
{
    std::weak_ptr<SystemCursorController> weakSelf = weak_from_this();
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

void SystemCursorController::reactivate(std::int32_t connectionID, const std::string& finalArrow,
                                        const std::optional<std::int32_t>& systemID, bool withSystemDefined,
                                        std::uint64_t scheduledInRestoreGeneration)
{
    if (scheduledInRestoreGeneration != restoreGeneration_)
        return;
    runtime_.setRegisteredCursorNow(connectionID, finalArrow);
    if (withSystemDefined && useSystemDefinedActivation_ && systemID)
        activateSystemDefinedCursor(connectionID, *systemID);
    if (useCoreSweepActivation_ && systemID)
        activateCoreCursor(connectionID, *systemID);
    applyDecoratedCursorScale(connectionID);
    runtime_.nudgeCursorScale(connectionID);
    runtime_.postSyntheticMouseMovedEvents(1);
}

void SystemCursorController::applyDecoratedCursorScale(std::int32_t connectionID)
{
    float base = 1.0f;
    if (baselineCursorScale_) {
        base = *baselineCursorScale_;
    } else {
        baselineCursorScale_ = runtime_.cursorScale(connectionID);
        base = baselineCursorScale_ ? *baselineCursorScale_ : runtime_.cursorScale(connectionID).value_or(1.0f);
    }
    float target = std::max(base * 1.08f, 1.0f);
    auto current = runtime_.cursorScale(connectionID);
    if (!current) {
        runtime_.setCursorScale(connectionID, target);
        AppLog::info("Decorated cursor scale applied (no current read): base=" + LogFormat::number(base) +
                     " target=" + LogFormat::number(target));
        return;
    }
    if (std::abs(*current - target) < 0.001f)
        return;
    bool applied = runtime_.setCursorScale(connectionID, target);
    AppLog::info("Decorated cursor scale update base=" + LogFormat::number(base) + " current=" +
                 LogFormat::number(*current) + " target=" + LogFormat::number(target) +
                 " applied=" + LogFormat::boolean(applied));
}

// Lookups

std::optional<std::string> SystemCursorController::primaryIdentifier(CursorRole role) const
{
    auto list = roleIdentifiers_.find(role);
    if (list == roleIdentifiers_.end() || list->second.empty())
        return std::nullopt;
    for (const auto& identifier : list->second)
        if (snapshots_.count(identifier))
            return identifier;
    return list->second.front();
}

std::optional<CursorTemplate> SystemCursorController::templateForIdentifier(const std::string& identifier) const
{
    auto holds = [&](CursorRole role) {
        auto list = roleIdentifiers_.find(role);
        return list != roleIdentifiers_.end() && contains(list->second, identifier);
    };
    if (holds(CursorRole::arrow))
        return CursorTemplate::arrow;
    if (holds(CursorRole::iBeam))
        return CursorTemplate::iBeam;
    if (holds(CursorRole::pointingHand))
        return CursorTemplate::pointingHand;
    return std::nullopt;
}

std::optional<std::int32_t> SystemCursorController::systemCursorID(const std::string& identifier) const
{
    if (auto number = numberInCursorName(identifier))
        return number;
    auto found = systemCursorIDByName_.find(lowercased(identifier));
    if (found == systemCursorIDByName_.end())
        return std::nullopt;
    return found->second;
}

std::string SystemCursorController::preferredFinalArrowIdentifier(const std::string& fallback) const
{
    auto arrows = roleIdentifiers_.find(CursorRole::arrow);
    if (arrows != roleIdentifiers_.end())
        for (const auto& identifier : finalArrowPreference)
            if (contains(arrows->second, identifier))
                return identifier;
    return fallback;
}

std::vector<std::string>
SystemCursorController::targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers) const
{
    std::vector<std::string> targets;
    auto addStill = [&targets](const std::vector<std::string>& source) {
        for (const auto& identifier : source)
            if (!isAnimatedIdentifier(identifier))
                targets.push_back(identifier);
    };
    std::vector<std::string> snapshotNames;
    for (const auto& [identifier, snapshot] : snapshots_)
        snapshotNames.push_back(identifier);
    addStill(snapshotNames);
    for (CursorRole role : allCursorRoles) {
        auto list = roleIdentifiers_.find(role);
        if (list != roleIdentifiers_.end())
            addStill(list->second);
    }
    addStill(additionalIdentifiers);
    return deduplicated(targets);
}

std::vector<std::string> SystemCursorController::deduplicated(const std::vector<std::string>& identifiers)
{
    std::vector<std::string> result;
    std::set<std::string> seen;
    for (const auto& identifier : identifiers)
        if (!identifier.empty() && seen.insert(identifier).second)
            result.push_back(identifier);
    return result;
}

bool SystemCursorController::isAnimatedIdentifier(const std::string& identifier)
{
    std::string name = lowercased(identifier);
    if (contains(animatedSystemCursorIdentifiers, name))
        return true;
    for (const char* word : {"wait", "busy", "progress", "counting"})
        if (name.find(word) != std::string::npos)
            return true;
    return false;
}

CursorSnapshot SystemCursorController::syntheticSnapshot(CursorTemplate cursorTemplate)
{
    StockCursor stock = StockCursor::load(stockShape(cursorTemplate));
    return CursorSnapshot{stock.size(), stock.hotSpot(), 1, 0, {}};
}
