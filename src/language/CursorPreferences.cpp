#include "language/CursorPreferences.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"

#include <string>

namespace {

const std::string leftHandedKey = "tarnwick.left_handed";
const std::string globalStyleKey = "tarnwick.cursor_style.global";
// Written with every change so that an older version still finds the style.
const std::string legacyEnglishStyleKey = "tarnwick.cursor_style.en";
const std::string legacyRussianStyleKey = "tarnwick.cursor_style.ru";

std::optional<CursorStyle> validStyle(const std::optional<std::string>& stored)
{
    return stored ? cursorStyle(*stored) : std::nullopt;
}

}

CursorPreferences::CursorPreferences(UserDefaults& defaults) : defaults(defaults) {}

bool CursorPreferences::isLeftHanded() const
{
    if (!defaults.contains(leftHandedKey))
        return true;
    return defaults.boolean(leftHandedKey).value_or(false);
}

void CursorPreferences::setLeftHanded(bool leftHanded)
{
    defaults.set(leftHandedKey, leftHanded);
    AppLog::info("Preference left-handed saved: " + LogFormat::boolean(leftHanded));
}

CursorStyle CursorPreferences::style(const std::optional<InputLanguage>&) const
{
    // One read for all three: the tray asks for the style at every poll.
    auto stored = defaults.strings({globalStyleKey, legacyEnglishStyleKey, legacyRussianStyleKey});
    if (auto global = validStyle(stored[0])) {
        if (AppLog::verboseEnabled())
            AppLog::debug("Preference global style loaded: " + std::string(rawValue(*global)));
        return *global;
    }
    for (const auto& legacy : {stored[1], stored[2]}) {
        if (auto migrated = validStyle(legacy)) {
            std::string raw(rawValue(*migrated));
            defaults.set(globalStyleKey, raw);
            AppLog::info("Preference migrated to global style from legacy key: " + raw);
            return *migrated;
        }
    }
    AppLog::debug("Preference missing global style; using default letterBadge");
    return CursorStyle::letterBadge;
}

void CursorPreferences::setStyle(CursorStyle style, const std::optional<InputLanguage>&)
{
    std::string raw(rawValue(style));
    defaults.set(globalStyleKey, raw);
    defaults.set(legacyEnglishStyleKey, raw);
    defaults.set(legacyRussianStyleKey, raw);
    AppLog::info("Preference global style saved: " + raw);
}
