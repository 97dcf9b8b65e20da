#pragma once

#include <optional>
#include <string>

// One of the desktop's cursor-theme settings, which its compositor or its
// toolkits load by name. One implementation per desktop family.
class CursorThemeSetting {
public:
    virtual ~CursorThemeSetting() = default;

    // Names the user's value of this setting in the crash-safe backup.
    virtual std::string backupKey() const = 0;
    // The theme name the setting holds now; nothing when it cannot be read.
    virtual std::optional<std::string> theme() = 0;
    // Points the desktop at a theme. The change may still be on its way to
    // storage when this returns: sync() waits for it.
    virtual bool setTheme(const std::string& name) = 0;
    // Back to the desktop's own default.
    virtual void resetTheme() = 0;
    // The cursor size in pixels the desktop asks for.
    virtual int size() = 0;
    // Returns once every change made so far is stored and announced, so that
    // a process ending right after leaves it behind and the desktop's
    // programs have heard of it. May be called from any thread.
    virtual void sync() {}
    // How a pointer resting over a window comes to show a new theme. May be
    // called from any thread.
    enum class RestingPointer {
        // The desktop itself makes it show the theme.
        follows,
        // The window under it sets its cursor again once another window has
        // come over the pointer and gone: the compositor gives the pointer to
        // a window shown under it (after lookUnderPointer()).
        followsAWindowShownOverIt,
        // Only the pointer's next motion shows it.
        waitsForMotion,
    };
    virtual RestingPointer restingPointer() { return RestingPointer::followsAWindowShownOverIt; }
    // Asks a compositor that looks for the window under the pointer only as
    // it moves to look again now. May be called from any thread.
    virtual void lookUnderPointer() {}
    // Whether theme() reads what the desktop holds now, rather than what it
    // was last told.
    virtual bool readsBack() const { return true; }
};
