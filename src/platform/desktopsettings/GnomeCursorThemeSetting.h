#pragma once

#include "platform/desktopsettings/CursorThemeSetting.h"

typedef struct _GSettings GSettings;

// org.gnome.desktop.interface cursor-theme and cursor-size through GSettings
// (dconf in a session, the keyfile backend in tests).
class GnomeCursorThemeSetting : public CursorThemeSetting {
public:
    GnomeCursorThemeSetting();
    ~GnomeCursorThemeSetting() override;
    GnomeCursorThemeSetting(const GnomeCursorThemeSetting&) = delete;
    GnomeCursorThemeSetting& operator=(const GnomeCursorThemeSetting&) = delete;

    std::string backupKey() const override { return "cursor-theme"; }
    std::optional<std::string> theme() override;
    bool setTheme(const std::string& name) override;
    void resetTheme() override;
    int size() override;
    void sync() override;

    // Whether the schema is installed.
    static bool available();

private:
    GSettings* settings_;
};
