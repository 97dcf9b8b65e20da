#include "controller/BaselineStore.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "controller/GeometryText.h"
#include "platform/stockcursors/StockCursor.h"
#include "render/CursorTemplate.h"

#include <algorithm>
#include <cmath>

namespace {

bool hasPositiveSize(const CursorSnapshot& snapshot)
{
    return snapshot.size.width > 0 && snapshot.size.height > 0;
}

}

BaselineStore::BaselineStore(const CGSRuntime& runtime, const CursorCatalogue& catalogue,
                             std::optional<std::int32_t> captureConnectionID)
    : runtime_(runtime), catalogue_(catalogue), captureConnectionID_(captureConnectionID)
{
}

void BaselineStore::captureOriginalCursors()
{
    if (!captureConnectionID_)
        return;
    int captured = 0;
    for (const auto& identifier : catalogue_.allIdentifiers()) {
        if (snapshots_.count(identifier))
            continue;
        if (auto snapshot = runtime_.snapshotCursor(*captureConnectionID_, identifier)) {
            snapshots_[identifier] = std::move(*snapshot);
            workingIsBaseline_ = false;
            ++captured;
        }
    }
    AppLog::info("captureOriginalCursors completed. captured=" + std::to_string(captured));
}

void BaselineStore::validateAndFixBaselineSnapshots()
{
    for (CursorRole role : allCursorRoles) {
        auto reference = nsCursorSnapshot(role);
        if (!reference) {
            AppLog::warn("nsCursorSnapshot: failed to get CGImage for " + std::string(cursorRoleName(role)));
            continue;
        }
        for (const auto& identifier : catalogue_.identifiers(role)) {
            auto found = snapshots_.find(identifier);
            if (found == snapshots_.end() || isSnapshotConsistentWithRole(role, found->second, *reference))
                continue;
            const CursorSnapshot& captured = found->second;
            AppLog::warn("Baseline validation FAILED for " + std::string(cursorRoleName(role)) + " alias " +
                         identifier + ": captured=" + sizeText(captured.size) +
                         " hotspot=" + pointText(captured.hotSpot) + " reference=" + sizeText(reference->size) +
                         " hotspot=" + pointText(reference->hotSpot) + ". Replacing with NSCursor reference.");
            found->second = *reference;
            workingIsBaseline_ = false;
        }
    }
}

void BaselineStore::keepAsBaseline()
{
    baselineSnapshots_ = snapshots_;
    workingIsBaseline_ = true;
}

void BaselineStore::resetWorkingSnapshots(const std::string& rebuiltWarning)
{
    if (!baselineSnapshots_.empty()) {
        // Nothing changes the working snapshots between applies: a copy of
        // some fifty cursors at every switch would copy them as they are.
        if (!workingIsBaseline_)
            snapshots_ = baselineSnapshots_;
        workingIsBaseline_ = true;
        return;
    }
    snapshots_.clear();
    captureOriginalCursors();
    keepAsBaseline();
    AppLog::warn(rebuiltWarning + std::to_string(baselineSnapshots_.size()));
}

std::optional<CursorSnapshot> BaselineStore::resolveBaselineArrowSnapshot() const
{
    auto firstWithImages = [this](const std::vector<std::string>& order) -> std::optional<CursorSnapshot> {
        for (const auto& identifier : order) {
            auto found = baselineSnapshots_.find(identifier);
            if (found != baselineSnapshots_.end() && !found->second.images.empty())
                return found->second;
        }
        return std::nullopt;
    };
    if (auto snapshot = firstWithImages(CursorCatalogue::baselineArrowOrder))
        return snapshot;
    return firstWithImages(catalogue_.identifiers(CursorRole::arrow));
}

int BaselineStore::restoreBaselineAliases(std::int32_t connectionID)
{
    auto baselineArrow = resolveBaselineArrowSnapshot();
    std::vector<std::string> targets = catalogue_.allIdentifiers();
    auto forApply = targetIdentifiersForApply({});
    targets.insert(targets.end(), forApply.begin(), forApply.end());
    targets = CursorCatalogue::deduplicated(targets);

    int restored = 0;
    for (const auto& identifier : targets) {
        const CursorSnapshot* snapshot = nullptr;
        auto own = baselineSnapshots_.find(identifier);
        if (own != baselineSnapshots_.end())
            snapshot = &own->second;
        else if (baselineArrow && catalogue_.roleHolds(CursorRole::arrow, identifier))
            snapshot = &*baselineArrow;
        if (!snapshot || snapshot->images.empty())
            continue;
        if (runtime_.registerCursor(connectionID, identifier, *snapshot, snapshot->images, true, true))
            ++restored;
    }
    AppLog::info("restoreBaselineAliases completed. restored=" + std::to_string(restored) +
                 " baseline=" + std::to_string(baselineSnapshots_.size()) +
                 " targets=" + std::to_string(targets.size()));
    return restored;
}

std::optional<std::string> BaselineStore::primaryIdentifier(CursorRole role) const
{
    const auto& list = catalogue_.identifiers(role);
    for (const auto& identifier : list)
        if (snapshots_.count(identifier))
            return identifier;
    if (list.empty())
        return std::nullopt;
    return list.front();
}

std::vector<std::string>
BaselineStore::targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers) const
{
    // Every switch asks with the same names; the answer is worked out when
    // they change.
    bool sameSnapshots = lastTargets_.snapshotNames.size() == snapshots_.size() &&
                         std::equal(snapshots_.begin(), snapshots_.end(), lastTargets_.snapshotNames.begin(),
                                    [](const auto& entry, const std::string& name) { return entry.first == name; });
    if (!sameSnapshots || lastTargets_.additional != additionalIdentifiers) {
        lastTargets_.snapshotNames.clear();
        for (const auto& [identifier, snapshot] : snapshots_)
            lastTargets_.snapshotNames.push_back(identifier);
        lastTargets_.additional = additionalIdentifiers;
        lastTargets_.targets = workOutTargets(lastTargets_.snapshotNames, additionalIdentifiers);
    }
    return lastTargets_.targets;
}

std::vector<std::string> BaselineStore::workOutTargets(const std::vector<std::string>& snapshotNames,
                                                       const std::vector<std::string>& additionalIdentifiers) const
{
    std::vector<std::string> targets;
    auto addStill = [&targets](const std::vector<std::string>& source) {
        for (const auto& identifier : source)
            if (!CursorCatalogue::isAnimatedIdentifier(identifier))
                targets.push_back(identifier);
    };
    addStill(snapshotNames);
    for (CursorRole role : allCursorRoles)
        addStill(catalogue_.identifiers(role));
    addStill(additionalIdentifiers);
    return CursorCatalogue::deduplicated(targets);
}

std::optional<CursorSnapshot> BaselineStore::nsCursorSnapshot(CursorRole role)
{
    StockCursor stock = StockCursor::load(stockShape(templateForRole(role)));
    auto image = stock.image();
    if (!image)
        return std::nullopt;
    return CursorSnapshot{stock.size(), stock.hotSpot(), 1, 0, {image}};
}

bool BaselineStore::isSnapshotConsistentWithRole(CursorRole role, const CursorSnapshot& snapshot,
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
