#pragma once

#include "platform/desktopsettings/CursorThemeBackup.h"
#include "platform/desktopsettings/CursorThemeSetting.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The cursor theme a desktop shows, as its own settings name it: the
// compositor's setting and those its toolkits read. While the program points
// them at one of its themes, the user's values wait in a crash-safe backup;
// a start after a crash puts them back before anything else.
class DesktopCursorTheme {
public:
    // Every theme folder of the program's own starts with this.
    static constexpr const char* ownPrefix = "Tarnwick-";

    // A setting that outlives the desktop it belongs to, such as a file, by
    // its backup key; nothing for one that ended with its desktop.
    using StoredSetting = std::function<std::unique_ptr<CursorThemeSetting>(const std::string& backupKey)>;

    // The first setting is the desktop's own: its theme is the user's theme.
    DesktopCursorTheme(std::vector<std::unique_ptr<CursorThemeSetting>> settings, CursorThemeBackup backup,
                       StoredSetting stored = {});

    // The settings of the running desktop (KDE Plasma, sway or Hyprland, and
    // GNOME's, which GTK reads on every desktop where it is installed), with
    // the backup in its usual place.
    static std::unique_ptr<DesktopCursorTheme> forDesktop();

    static bool isOwn(const std::string& theme);

    // Puts back what a run that ended without restoring left behind and
    // learns the user's themes. A setting of this desktop gets the saved
    // value if it still names one of the program's themes, or cannot be read
    // back; without a saved value (a damaged backup) one still naming ours
    // goes to the desktop's default. A saved setting of another desktop is
    // mended where it is stored and still names ours; one that ended with
    // its compositor is dropped. True when anything was put back.
    bool recover();
    // The user's theme, "default" when the desktop names none; the
    // desktop's cursor size in pixels.
    std::string userTheme() const;
    int size() const;
    // Whether there is any setting to point.
    bool settable() const { return !settings_.empty(); }

    // Points every setting at the theme, the user's values saved first.
    bool show(const std::string& theme);
    // Every setting back to the user's value, stored before this returns;
    // the backup then goes.
    bool restore();

    // These two may be called from any thread, beside the others.
    // Returns once every change is stored and announced.
    void sync();
    // How a pointer resting over a window comes to show a new theme, as the
    // desktop's own setting says.
    CursorThemeSetting::RestingPointer restingPointer();
    void lookUnderPointer();

private:
    bool recoverSetting(CursorThemeSetting& setting, const std::optional<std::string>& saved);
    bool mendStored(const std::string& key, const std::string& saved);

    std::vector<std::unique_ptr<CursorThemeSetting>> settings_;
    CursorThemeBackup backup_;
    StoredSetting stored_;
    // The user's value of each setting, by backup key.
    std::map<std::string, std::string> user_;
};
