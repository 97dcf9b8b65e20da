#include "platform/desktopsettings/HyprlandCursorThemeSetting.h"

bool HyprlandCursorThemeSetting::tell(const std::string& name, int size)
{
    return hyprland_.request("/setcursor " + name + " " + std::to_string(size)) == "ok";
}
