#include "platform/desktopsettings/KdeCursorThemeSetting.h"

#include "platform/files/UserDirectories.h"

#include <cstdlib>
#include <filesystem>
#include <gio/gio.h>

namespace {

constexpr const char* group = "Mouse";
constexpr const char* defaultTheme = "breeze_cursors";
constexpr int defaultSize = 24;
constexpr int cursorChanged = 5;

// Without an address GIO would launch a bus of its own.
bool hasSessionBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    return (address && address[0]) ||
           (runtime && runtime[0] && std::filesystem::exists(std::string(runtime) + "/bus", ignored));
}

void announceCursorChange()
{
    if (!hasSessionBus())
        return;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return;
    g_dbus_connection_emit_signal(bus, nullptr, "/KGlobalSettings", "org.kde.KGlobalSettings", "notifyChange",
                                  g_variant_new("(ii)", cursorChanged, 0), nullptr);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

}

KdeCursorThemeSetting::KdeCursorThemeSetting() : file_(UserDirectories::configHome() + "/kcminputrc") {}

std::optional<std::string> KdeCursorThemeSetting::theme()
{
    std::optional<std::string> name = file_.read(group, "cursorTheme");
    return name && !name->empty() ? *name : defaultTheme;
}

// As KDE's settings store it: the default by no entry at all.
bool KdeCursorThemeSetting::setTheme(const std::string& name)
{
    return store(name == defaultTheme ? std::nullopt : std::optional(name));
}

void KdeCursorThemeSetting::resetTheme()
{
    store(std::nullopt);
}

bool KdeCursorThemeSetting::store(const std::optional<std::string>& name)
{
    if (!file_.write(group, "cursorTheme", name))
        return false;
    announceCursorChange();
    return true;
}

int KdeCursorThemeSetting::size()
{
    int size = std::atoi(file_.read(group, "cursorSize").value_or("").c_str());
    return size > 0 ? size : defaultSize;
}
