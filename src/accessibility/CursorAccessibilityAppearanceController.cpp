#include "accessibility/CursorAccessibilityAppearanceController.h"

#include "base/AppLog.h"
#include "base/LogFormat.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/UserDirectories.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

const std::string customizedKey = "cursorIsCustomized";
const std::vector<std::string> colourKeys = {"cursorFill", "cursorOutline", "mouseDriverCursorFillColor",
                                             "mouseDriverCursorOutlineColor"};

std::string folderOf(const std::string& path)
{
    return path.substr(0, path.find_last_of('/'));
}

std::string internetDateTimeNow()
{
    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string sortedKeyList(const CursorAccessibilityAppearanceController::ManagedValues& values)
{
    std::string keys;
    for (const auto& entry : values)
        keys += (keys.empty() ? "" : ",") + entry.first;
    return keys;
}

std::string describe(int error, const std::string& path)
{
    return std::string(std::strerror(error)) + " (" + path + ")";
}

}

CursorAccessibilityAppearanceController::CursorAccessibilityAppearanceController()
    : backupURL(UserDirectories::applicationSupport() + "/Tarnwick/cursor_accessibility_backup.plist"),
      preferencesPlistURL(UserDirectories::home() + "/Library/Preferences/com.apple.universalaccess.plist"),
      domain_(preferencesDomain, preferencesPlistURL)
{
}

bool CursorAccessibilityAppearanceController::recoverPreviousSessionIfNeeded()
{
    auto backup = PropertyList::readFile(backupURL);
    auto stored = backup ? backup->value("values") : std::nullopt;
    if (!stored || stored->type() != PropertyList::Type::dictionary)
        return true;
    AppLog::warn("Recovered pending cursor accessibility backup from previous run; restoring user settings");
    // Only the keys this controller owns: a damaged backup must not write
    // anything else into the system's domain.
    if (!applyValues(managedEntriesOf(*stored))) {
        AppLog::error("Failed to restore recovered cursor accessibility backup; keeping backup file for manual recovery");
        return false;
    }
    removeBackupFile();
    return true;
}

bool CursorAccessibilityAppearanceController::activateSystemCursorAppearanceIfNeeded()
{
    ManagedValues current = readManagedValues();
    if (!hasConflictingCustomization(current)) {
        hasUnresolvedCustomizationConflict_ = false;
        AppLog::info("Accessibility cursor appearance already standard; no override needed");
        return false;
    }

    // The backup goes first: a crash between switching and saving would
    // otherwise leave the user's colours nowhere.
    persistBackupFile(current);
    setPreferenceValue(PropertyList::boolean(false), customizedKey);
    for (const auto& key : colourKeys)
        setPreferenceValue(std::nullopt, key);
    bool synchronized = domain_.synchronize();

    if (!hasConflictingCustomization(readManagedValues())) {
        activeSessionBackup_ = current;
        hasUnresolvedCustomizationConflict_ = false;
        isOverrideActive_ = true;
        AppLog::warn("Applied temporary cursor accessibility override for native cursor replacement synchronized=" +
                     LogFormat::boolean(synchronized));
        return true;
    }

    hasUnresolvedCustomizationConflict_ = true;
    isOverrideActive_ = false;
    activeSessionBackup_.reset();
    removeBackupFile();
    AppLog::error("Failed to auto-disable Accessibility cursor customization (synchronized=" +
                  LogFormat::boolean(synchronized) + "); " +
                  "native cursor replacement can remain shake/Launchpad-only. " +
                  "Please disable custom pointer color manually in System Settings > Accessibility > Display > Pointer.");
    return false;
}

void CursorAccessibilityAppearanceController::restoreOriginalAppearanceIfNeeded()
{
    if (!isOverrideActive_)
        return;
    if (!activeSessionBackup_) {
        AppLog::warn("restoreOriginalAppearanceIfNeeded: active override without in-memory backup");
        removeBackupFile();
        isOverrideActive_ = false;
        return;
    }
    if (!applyValues(*activeSessionBackup_)) {
        // The backup file stays, so the next launch tries again.
        AppLog::error("Failed to restore original Accessibility cursor appearance settings");
        return;
    }
    removeBackupFile();
    isOverrideActive_ = false;
    activeSessionBackup_.reset();
    hasUnresolvedCustomizationConflict_ = false;
    AppLog::info("Restored original Accessibility cursor appearance settings");
}

bool CursorAccessibilityAppearanceController::applyValues(const ManagedValues& values)
{
    for (const auto& key : managedKeys)
        setPreferenceValue(std::nullopt, key);
    for (const auto& [key, value] : values)
        setPreferenceValue(value, key);
    bool synchronized = domain_.synchronize();
    bool applied = readManagedValues() == values;
    AppLog::info("Cursor accessibility values applied synchronized=" + LogFormat::boolean(synchronized) +
                 " applied=" + LogFormat::boolean(applied) + " keys=" + sortedKeyList(values));
    return applied;
}

void CursorAccessibilityAppearanceController::removeBackupFile()
{
    if (!AtomicFile::remove(backupURL))
        AppLog::warn("Failed to remove cursor accessibility backup: " + describe(errno, backupURL));
}

std::optional<CursorAccessibilityAppearanceController::ManagedValues>
CursorAccessibilityAppearanceController::loadManagedValuesFromDisk() const
{
    auto stored = PropertyList::readFile(preferencesPlistURL);
    if (!stored || stored->type() != PropertyList::Type::dictionary)
        return std::nullopt;
    return managedEntriesOf(*stored);
}

CursorAccessibilityAppearanceController::ManagedValues
CursorAccessibilityAppearanceController::loadCurrentManagedValues() const
{
    ManagedValues values;
    for (const auto& key : managedKeys)
        if (auto value = domain_.copyValue(key))
            values.insert_or_assign(key, std::move(*value));
    return values;
}

CursorAccessibilityAppearanceController::ManagedValues CursorAccessibilityAppearanceController::readManagedValues() const
{
    if (auto onDisk = loadManagedValuesFromDisk())
        return *onDisk;
    return loadCurrentManagedValues();
}

CursorAccessibilityAppearanceController::ManagedValues
CursorAccessibilityAppearanceController::managedEntriesOf(const PropertyList& dictionary) const
{
    ManagedValues values;
    for (const auto& key : managedKeys)
        if (auto value = dictionary.value(key))
            values.insert_or_assign(key, std::move(*value));
    return values;
}

void CursorAccessibilityAppearanceController::setPreferenceValue(std::optional<PropertyList> value, const std::string& key)
{
    domain_.setValue(key, std::move(value));
}

void CursorAccessibilityAppearanceController::persistBackupFile(const ManagedValues& values)
{
    PropertyList backup = PropertyList::dictionary(
        {{"values", PropertyList::dictionary(values)}, {"savedAt", PropertyList::string(internetDateTimeNow())}});
    std::string folder = folderOf(backupURL);
    if (!AtomicFile::makeDirectories(folder)) {
        AppLog::error("Failed to persist cursor accessibility backup: " + describe(errno, folder));
        return;
    }
    // The binary form keeps every value type exactly as the domain held it.
    std::string bytes = backup.serialized(PropertyList::Format::binary);
    if (bytes.empty() || !AtomicFile::write(backupURL, bytes, 0600)) {
        AppLog::error("Failed to persist cursor accessibility backup: " + describe(errno, backupURL));
        return;
    }
    AppLog::info("Saved cursor accessibility backup: " + backupURL);
}

bool CursorAccessibilityAppearanceController::hasConflictingCustomization(const ManagedValues& values) const
{
    if (auto customized = values.find(customizedKey); customized != values.end()) {
        if (customized->second.boolValue().value_or(false))
            return true;
    }
    for (const auto& key : colourKeys)
        if (values.contains(key))
            return true;
    return false;
}
