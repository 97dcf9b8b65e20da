#pragma once

#include "controller/CursorRole.h"
#include "render/CursorTemplate.h"
#include "runtime/CGSRuntime.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The window-server cursor names the controller works with: which stand for
// each role, which are snapshotted, which numbered cursors get activated and
// the number behind a name. Built once from what the window server reports,
// never changed afterwards.
class CursorCatalogue {
public:
    static constexpr std::int32_t maxTrackedCursorID = 44;
    static constexpr std::int32_t nameDiscoveryBound = 128;
    static constexpr std::int32_t entryDiscoveryBound = 512;

    static const std::vector<std::string> animatedSystemCursorIdentifiers;
    static const std::vector<std::string> finalArrowPreference;
    static const std::vector<std::string> baselineArrowOrder;
    static const std::vector<std::string> canonicalArrowOrder;
    static const std::vector<std::string> arrowPrimingExtras;

    explicit CursorCatalogue(const CGSRuntime& runtime);

    const std::map<CursorRole, std::vector<std::string>>& roleIdentifiers() const { return roleIdentifiers_; }
    const std::vector<std::string>& identifiers(CursorRole role) const { return roleIdentifiers_.at(role); }
    // Exact, case-sensitive membership in a role's list.
    bool roleHolds(CursorRole role, const std::string& identifier) const;
    const std::vector<std::string>& allIdentifiers() const { return allIdentifiers_; }
    const std::vector<std::int32_t>& forcedActivationCursorIDs() const { return forcedActivationCursorIDs_; }
    const std::map<std::string, std::int32_t>& systemCursorIDByName() const { return systemCursorIDByName_; }

    std::optional<CursorTemplate> templateForIdentifier(const std::string& identifier) const;
    std::optional<std::int32_t> systemCursorID(const std::string& identifier) const;
    std::string preferredFinalArrowIdentifier(const std::string& fallback) const;
    // The identifiers of each role, the forced activation IDs and the number
    // of identifiers, one log line each.
    void logContents() const;

    static std::vector<std::string> deduplicated(const std::vector<std::string>& identifiers);
    static bool isAnimatedIdentifier(const std::string& identifier);
    // Numbered cursors 0 to maxTrackedCursorID.
    static bool isTrackedCursorID(const std::optional<std::int32_t>& id);

private:
    static std::map<CursorRole, std::vector<std::string>> buildRoleIdentifiers(const CGSRuntime& runtime);
    static std::vector<std::string>
    buildAllIdentifiers(const CGSRuntime& runtime, const std::map<CursorRole, std::vector<std::string>>& roles);
    static std::vector<std::int32_t>
    buildForcedActivationCursorIDs(const CGSRuntime& runtime,
                                   const std::map<CursorRole, std::vector<std::string>>& roles);
    static std::map<std::string, std::int32_t> buildSystemCursorIDByName(const CGSRuntime& runtime);

    // Built in this order, which is also the order of the discovery calls.
    std::map<CursorRole, std::vector<std::string>> roleIdentifiers_;
    std::vector<std::string> allIdentifiers_;
    std::vector<std::int32_t> forcedActivationCursorIDs_;
    std::map<std::string, std::int32_t> systemCursorIDByName_;
};
