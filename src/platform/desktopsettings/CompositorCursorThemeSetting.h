#pragma once

#include "platform/desktopsettings/CursorThemeSetting.h"

// A compositor's own cursor theme, told to it over its control socket. It
// cannot be asked which theme it has; it tells the programs it starts
// (XCURSOR_THEME, XCURSOR_SIZE). The setting ends with the compositor that
// holds it, so the backup key of each names the running instance.
class CompositorCursorThemeSetting : public CursorThemeSetting {
public:
    // The theme last set, else the one the compositor told this program.
    std::optional<std::string> theme() override;
    bool setTheme(const std::string& name) override;
    // What a theme left unnamed loads.
    void resetTheme() override { setTheme("default"); }
    int size() override;
    bool readsBack() const override { return false; }

protected:
    virtual bool tell(const std::string& name, int size) = 0;

private:
    std::optional<std::string> told_;
};
