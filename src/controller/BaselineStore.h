#pragma once

#include "controller/CursorCatalogue.h"
#include "controller/CursorRole.h"
#include "runtime/CGSRuntime.h"
#include "runtime/CursorSnapshot.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The cursors as they were before any badge: captured at start-up, checked
// against the desktop's stock cursors, copied into the working snapshots
// every apply draws from, and registered again on restore.
class BaselineStore {
public:
    // Snapshots are taken through captureConnectionID; none when the runtime
    // cannot take them.
    BaselineStore(const CGSRuntime& runtime, const CursorCatalogue& catalogue,
                  std::optional<std::int32_t> captureConnectionID);

    const std::map<std::string, CursorSnapshot>& snapshots() const { return snapshots_; }
    const std::map<std::string, CursorSnapshot>& baselineSnapshots() const { return baselineSnapshots_; }

    // Snapshots every catalogued name not yet in the working snapshots.
    void captureOriginalCursors();
    // Replaces working snapshots that cannot show their role by the stock cursor.
    void validateAndFixBaselineSnapshots();
    // The working snapshots become the baseline.
    void keepAsBaseline();
    // Every apply and restore starts from the baseline, so badges never
    // stack. An empty baseline is captured afresh and reported with
    // rebuiltWarning followed by its size.
    void resetWorkingSnapshots(const std::string& rebuiltWarning);
    // Registers the baseline under every tracked name, arrow names without a
    // baseline of their own getting the baseline arrow; how many succeeded.
    int restoreBaselineAliases(std::int32_t connectionID);

    std::optional<std::string> primaryIdentifier(CursorRole role) const;
    std::vector<std::string> targetIdentifiersForApply(const std::vector<std::string>& additionalIdentifiers) const;

    // The desktop's stock cursor of a role with its one image, the yardstick
    // for captured snapshots; none when the stock cursor has no image.
    static std::optional<CursorSnapshot> nsCursorSnapshot(CursorRole role);
    // Whether a captured snapshot plausibly shows its role, judged against
    // the stock cursor of that role.
    static bool isSnapshotConsistentWithRole(CursorRole role, const CursorSnapshot& snapshot,
                                             const CursorSnapshot& reference);

private:
    std::optional<CursorSnapshot> resolveBaselineArrowSnapshot() const;

    std::vector<std::string> workOutTargets(const std::vector<std::string>& snapshotNames,
                                            const std::vector<std::string>& additionalIdentifiers) const;

    const CGSRuntime& runtime_;
    const CursorCatalogue& catalogue_;
    std::optional<std::int32_t> captureConnectionID_;
    std::map<std::string, CursorSnapshot> snapshots_;
    std::map<std::string, CursorSnapshot> baselineSnapshots_;
    // Whether snapshots_ holds the baseline as it was kept.
    bool workingIsBaseline_ = false;
    // The last answer of targetIdentifiersForApply and what it came from.
    struct Targets {
        std::vector<std::string> snapshotNames;
        std::vector<std::string> additional;
        std::vector<std::string> targets;
    };
    mutable Targets lastTargets_;
};
