#pragma once

#include "platform/desktopsettings/CursorThemeSetting.h"
#include "platform/desktopsettings/KConfigFile.h"

// KDE Plasma's cursor theme: [Mouse] cursorTheme (and cursorSize) in
// kcminputrc, which KWin and Plasma load again when told so through the
// signal org.kde.KGlobalSettings.notifyChange(5, 0) on /KGlobalSettings (5:
// the cursor changed). The file outlives the session, so a start on another
// desktop can still put the user's theme back.
class KdeCursorThemeSetting : public CursorThemeSetting {
public:
    static constexpr const char* key = "kde-cursor-theme";

    // $XDG_CONFIG_HOME/kcminputrc
    KdeCursorThemeSetting();

    std::string backupKey() const override { return key; }
    // The theme KDE shows: breeze_cursors while the file names none.
    std::optional<std::string> theme() override;
    bool setTheme(const std::string& name) override;
    void resetTheme() override;
    int size() override;
    // KWin 5.27 looks for the window under the pointer only as it moves.
    RestingPointer restingPointer() override { return RestingPointer::waitsForMotion; }

private:
    bool store(const std::optional<std::string>& name);

    KConfigFile file_;
};
