#include "platform/compositor/RunningDesktop.h"

#include "platform/compositor/HyprlandSocket.h"
#include "platform/compositor/SwayIpc.h"

#include <cstdlib>
#include <sstream>

namespace {

// XDG_CURRENT_DESKTOP is a list separated by colons ("KDE", "ubuntu:GNOME").
bool currentDesktopNames(const std::string& name)
{
    const char* value = std::getenv("XDG_CURRENT_DESKTOP");
    std::istringstream names(value ? value : "");
    for (std::string entry; std::getline(names, entry, ':');)
        if (entry == name)
            return true;
    return false;
}

}

// The compositors' own variables first: a session nested in another desktop
// inherits that desktop's XDG_CURRENT_DESKTOP.
RunningDesktop RunningDesktop::fromEnvironment()
{
    if (std::string instance = HyprlandSocket::instanceFromEnvironment(); !instance.empty())
        return {Kind::hyprland, instance};
    if (std::string socket = SwayIpc::socketFromEnvironment(); !socket.empty())
        return {Kind::sway, socket};
    const char* fullSession = std::getenv("KDE_FULL_SESSION");
    if (currentDesktopNames("KDE") || (fullSession && std::string(fullSession) == "true"))
        return {Kind::kde, {}};
    return {};
}
