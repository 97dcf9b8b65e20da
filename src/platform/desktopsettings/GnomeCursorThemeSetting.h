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
    // Follows with the program's shell extension enabled; without it, a
    // window shown over the pointer makes it follow before GNOME Shell 45,
    // and from 45 only its next motion does.
    RestingPointer restingPointer() override;

    // The shell extension that makes a resting pointer follow each change.
    static constexpr const char* shellExtension = "pointer-refresh@tarnwick.com";

    // Whether the schema is installed.
    static bool available();

private:
    GSettings* settings_;
};
