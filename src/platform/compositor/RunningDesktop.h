#pragma once

#include <string>

// The desktop this session runs, as far as its cursor theme and keyboard
// layout go. A compositor with a control socket of its own names it in the
// environment of every program it starts; KDE Plasma names itself in
// XDG_CURRENT_DESKTOP.
struct RunningDesktop {
    enum class Kind { other, kde, sway, hyprland };

    Kind kind = Kind::other;
    // sway's IPC socket, Hyprland's instance signature: the running
    // compositor rather than any of its kind.
    std::string instance;

    static RunningDesktop fromEnvironment();
};
