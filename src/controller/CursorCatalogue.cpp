#include "controller/CursorCatalogue.h"

#include "base/AppLog.h"
#include "base/Text.h"
#include "runtime/NumberedCursorName.h"

#include <algorithm>
#include <set>

namespace {

void append(std::vector<std::string>& list, const std::vector<std::string>& more)
{
    list.insert(list.end(), more.begin(), more.end());
}

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::string joined(const std::vector<std::string>& pieces)
{
    std::string text;
    for (const auto& piece : pieces)
        text += (text.empty() ? "" : ", ") + piece;
    return text;
}

}

const std::vector<std::string> CursorCatalogue::animatedSystemCursorIdentifiers{
    "com.apple.coregraphics.wait", "com.apple.cursor.4", "com.apple.cursor.14", "com.apple.cursor.15",
    "com.apple.cursor.16",
};

const std::vector<std::string> CursorCatalogue::finalArrowPreference{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.coregraphics.Arrow",         "com.apple.coregraphics.ArrowS",
    "com.apple.coregraphics.ArrowCtx",      "com.apple.cursor.0",
    "com.apple.cursor.6",                   "com.apple.cursor.100",
};

const std::vector<std::string> CursorCatalogue::baselineArrowOrder{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.cursor.0",                   "com.apple.coregraphics.Arrow",
    "com.apple.cursor.6",                   "com.apple.coregraphics.ArrowCtx",
    "com.apple.cursor.100",                 "com.apple.coregraphics.ArrowS",
};

const std::vector<std::string> CursorCatalogue::canonicalArrowOrder{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.cursor.0",                   "com.apple.coregraphics.Arrow",
    "com.apple.cursor.100",                 "com.apple.coregraphics.ArrowS",
    "com.apple.cursor.6",                   "com.apple.coregraphics.ArrowCtx",
};

const std::vector<std::string> CursorCatalogue::arrowPrimingExtras{
    "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
    "com.apple.coregraphics.Arrow",         "com.apple.coregraphics.ArrowS",
    "com.apple.coregraphics.ArrowCtx",      "com.apple.cursor.0",
    "com.apple.cursor.100",                 "com.apple.cursor.6",
};

CursorCatalogue::CursorCatalogue(const CGSRuntime& runtime)
    : roleIdentifiers_(buildRoleIdentifiers(runtime)),
      allIdentifiers_(buildAllIdentifiers(runtime, roleIdentifiers_)),
      forcedActivationCursorIDs_(buildForcedActivationCursorIDs(runtime, roleIdentifiers_)),
      systemCursorIDByName_(buildSystemCursorIDByName(runtime))
{
}

std::map<CursorRole, std::vector<std::string>> CursorCatalogue::buildRoleIdentifiers(const CGSRuntime& runtime)
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
CursorCatalogue::buildAllIdentifiers(const CGSRuntime& runtime,
                                     const std::map<CursorRole, std::vector<std::string>>& roles)
{
    std::vector<std::string> identifiers;
    for (const auto& [role, list] : roles)
        append(identifiers, list);
    append(identifiers, runtime.discoverSystemCursorNames("com.apple.", nameDiscoveryBound));
    for (std::int32_t id = 0; id <= maxTrackedCursorID; ++id)
        identifiers.push_back(numberedCursorName(id));
    return deduplicated(identifiers);
}

std::vector<std::int32_t>
CursorCatalogue::buildForcedActivationCursorIDs(const CGSRuntime& runtime,
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
        for (const auto& identifier : roles.at(role)) {
            auto id = numberInCursorName(identifier);
            if (id && (discovered.empty() || discovered.count(*id)))
                result.insert(*id);
        }
    }

    std::set<std::string> arrowAndIBeamNames;
    for (CursorRole role : {CursorRole::arrow, CursorRole::iBeam})
        for (const auto& identifier : roles.at(role))
            arrowAndIBeamNames.insert(lowercased(identifier));
    for (const auto& entry : entries) {
        std::string name = lowercased(entry.name);
        if (name.find("arrow") != std::string::npos || name.find("ibeam") != std::string::npos ||
            arrowAndIBeamNames.count(name))
            result.insert(entry.id);
    }
    return {result.begin(), result.end()};
}

std::map<std::string, std::int32_t> CursorCatalogue::buildSystemCursorIDByName(const CGSRuntime& runtime)
{
    static const std::vector<std::pair<std::string, std::int32_t>> aliases{
        {"com.apple.coregraphics.arrow", 0},     {"com.apple.coregraphics.globalcurrent", 0},
        {"com.apple.coregraphics.connectioncurrent", 0}, {"com.apple.coregraphics.arrowctx", 6},
        {"com.apple.coregraphics.arrows", 100},
    };
    std::map<std::string, std::int32_t> byName;
    for (const auto& entry : runtime.discoverSystemCursorEntries(entryDiscoveryBound)) {
        byName[lowercased(entry.name)] = entry.id;
        byName[numberedCursorName(entry.id)] = entry.id;
    }
    for (const auto& [name, id] : aliases)
        byName.emplace(name, id);
    return byName;
}

bool CursorCatalogue::roleHolds(CursorRole role, const std::string& identifier) const
{
    return contains(identifiers(role), identifier);
}

std::optional<CursorTemplate> CursorCatalogue::templateForIdentifier(const std::string& identifier) const
{
    for (CursorRole role : allCursorRoles)
        if (roleHolds(role, identifier))
            return templateForRole(role);
    return std::nullopt;
}

std::optional<std::int32_t> CursorCatalogue::systemCursorID(const std::string& identifier) const
{
    if (auto number = numberInCursorName(identifier))
        return number;
    auto found = systemCursorIDByName_.find(lowercased(identifier));
    if (found == systemCursorIDByName_.end())
        return std::nullopt;
    return found->second;
}

std::string CursorCatalogue::preferredFinalArrowIdentifier(const std::string& fallback) const
{
    for (const auto& identifier : finalArrowPreference)
        if (roleHolds(CursorRole::arrow, identifier))
            return identifier;
    return fallback;
}

void CursorCatalogue::logContents() const
{
    for (CursorRole role : allCursorRoles)
        AppLog::info("Identifiers for " + std::string(cursorRoleName(role)) + ": " + joined(identifiers(role)));
    std::vector<std::string> ids;
    for (std::int32_t id : forcedActivationCursorIDs_)
        ids.push_back(std::to_string(id));
    AppLog::info("Forced activation cursor IDs: " + joined(ids));
    AppLog::info("Total discovered cursor identifiers: " + std::to_string(allIdentifiers_.size()));
}

std::vector<std::string> CursorCatalogue::deduplicated(const std::vector<std::string>& identifiers)
{
    std::vector<std::string> result;
    std::set<std::string> seen;
    for (const auto& identifier : identifiers)
        if (!identifier.empty() && seen.insert(identifier).second)
            result.push_back(identifier);
    return result;
}

bool CursorCatalogue::isAnimatedIdentifier(const std::string& identifier)
{
    std::string name = lowercased(identifier);
    if (contains(animatedSystemCursorIdentifiers, name))
        return true;
    for (const char* word : {"wait", "busy", "progress", "counting"})
        if (name.find(word) != std::string::npos)
            return true;
    return false;
}

bool CursorCatalogue::isTrackedCursorID(const std::optional<std::int32_t>& id)
{
    return id && *id >= 0 && *id <= maxTrackedCursorID;
}
