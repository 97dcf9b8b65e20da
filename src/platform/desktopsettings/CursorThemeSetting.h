#pragma once

#include <memory>
#include <optional>
#include <string>

// The desktop's cursor-theme setting, which its compositor and toolkits load
// by name. One implementation per desktop family.
class CursorThemeSetting {
public:
    virtual ~CursorThemeSetting() = default;

    // The theme name the desktop uses now; nothing when it cannot be read.
    virtual std::optional<std::string> theme() = 0;
    // Points the desktop at a theme and waits until the change is stored.
    virtual bool setTheme(const std::string& name) = 0;
    // Back to the desktop's own default.
    virtual void resetTheme() = 0;
    // The cursor size in pixels the desktop asks for.
    virtual int size() = 0;

    // The setting of the running desktop; nothing on a desktop without one
    // this program knows (KDE Plasma keeps its own in kcminputrc).
    static std::unique_ptr<CursorThemeSetting> forDesktop();
};
