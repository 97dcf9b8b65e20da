#pragma once

#include "platform/desktopsettings/CursorThemeBackup.h"
#include "platform/desktopsettings/CursorThemeSetting.h"

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

    // The first setting is the desktop's own: its theme is the user's theme.
    DesktopCursorTheme(std::vector<std::unique_ptr<CursorThemeSetting>> settings, CursorThemeBackup backup);

    // The settings of the running desktop, with the backup in its usual place.
    static std::unique_ptr<DesktopCursorTheme> forDesktop();

    static bool isOwn(const std::string& theme);

    // Puts back what a run that ended without restoring left behind (a
    // damaged backup sends a setting still naming one of ours to the
    // desktop's default) and learns the user's themes. True when anything
    // was put back.
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
    // Whether a pointer resting over a window shows a change of theme
    // without help.
    bool refreshesRestingPointers();

private:
    std::vector<std::unique_ptr<CursorThemeSetting>> settings_;
    CursorThemeBackup backup_;
    // The user's value of each setting, by backup key.
    std::map<std::string, std::string> user_;
};
