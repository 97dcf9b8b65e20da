#include "platform/graphics/QtPlatformChoice.h"

#include <QLibraryInfo>

#include <cstdlib>
#include <filesystem>

namespace QtPlatformChoice {

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && value[0];
}

bool waylandPluginInstalled()
{
    std::string folder = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().filename().string().starts_with("libqwayland"))
            return true;
    return false;
}

}

std::optional<std::string> platformFor(bool hasWayland, bool hasDisplay, bool pluginInstalled)
{
    if (hasWayland && pluginInstalled)
        return hasDisplay ? "wayland;xcb" : "wayland;offscreen";
    if (hasDisplay)
        return hasWayland ? std::optional<std::string>("xcb") : std::nullopt;
    return "offscreen";
}

void apply()
{
    if (isSet("QT_QPA_PLATFORM"))
        return;
    bool hasWayland = isSet("WAYLAND_DISPLAY");
    auto platform = platformFor(hasWayland, isSet("DISPLAY"), hasWayland && waylandPluginInstalled());
    if (platform)
        setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
}

}
