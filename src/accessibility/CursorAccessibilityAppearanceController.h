#pragma once

#include "platform/prefs/PreferenceDomain.h"
#include "platform/prefs/PropertyList.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// While the user's pointer is customised in the Accessibility settings (a fill
// or outline colour), replaced cursor images show only in some situations. For
// as long as the program runs this switches that customisation off, keeping
// the user's values in memory and in a backup file, and puts them back at
// quit, or at the next launch when the program ended without doing so.
class CursorAccessibilityAppearanceController {
public:
    using ManagedValues = std::map<std::string, PropertyList>;

    // Paths come from the current user's folders at creation.
    CursorAccessibilityAppearanceController();

    // Restores values left in a backup file by an earlier run; false only
    // when there were some and they could not be put back (the backup stays).
    bool recoverPreviousSessionIfNeeded();
    // Switches the customisation off if it is on; true when the override is
    // now active.
    bool activateSystemCursorAppearanceIfNeeded();
    // Puts the user's values back if this run switched them off.
    void restoreOriginalAppearanceIfNeeded();

    const std::string preferencesDomain = "com.apple.universalaccess";
    const std::vector<std::string> managedKeys = {"cursorIsCustomized", "cursorFill", "cursorOutline",
                                                  "mouseDriverCursorFillColor", "mouseDriverCursorOutlineColor"};
    const std::string backupURL;
    const std::string preferencesPlistURL;

    const std::optional<ManagedValues>& activeSessionBackup() const { return activeSessionBackup_; }
    bool isOverrideActive() const { return isOverrideActive_; }
    bool hasUnresolvedCustomizationConflict() const { return hasUnresolvedCustomizationConflict_; }

private:
    bool applyValues(const ManagedValues& values);
    void removeBackupFile();
    std::optional<ManagedValues> loadManagedValuesFromDisk() const;
    ManagedValues loadCurrentManagedValues() const;
    ManagedValues readManagedValues() const;
    ManagedValues managedEntriesOf(const PropertyList& dictionary) const;
    void setPreferenceValue(std::optional<PropertyList> value, const std::string& key);
    void persistBackupFile(const ManagedValues& values);
    bool hasConflictingCustomization(const ManagedValues& values) const;

    std::optional<ManagedValues> activeSessionBackup_;
    bool isOverrideActive_ = false;
    bool hasUnresolvedCustomizationConflict_ = false;
    PreferenceDomain domain_;
};
