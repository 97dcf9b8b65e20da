#include "platform/desktopsettings/CompositorCursorThemeSetting.h"

#include <cstdlib>

namespace {

constexpr int defaultSize = 24;

}

std::optional<std::string> CompositorCursorThemeSetting::theme()
{
    if (told_)
        return told_;
    const char* name = std::getenv("XCURSOR_THEME");
    return name && name[0] ? std::optional<std::string>(name) : std::nullopt;
}

bool CompositorCursorThemeSetting::setTheme(const std::string& name)
{
    if (!tell(name, size()))
        return false;
    told_ = name;
    return true;
}

int CompositorCursorThemeSetting::size()
{
    const char* text = std::getenv("XCURSOR_SIZE");
    int size = text ? std::atoi(text) : 0;
    return size > 0 ? size : defaultSize;
}
