#include "platform/desktopsettings/GnomeCursorThemeSetting.h"

#include <gio/gio.h>

namespace {

constexpr const char* schemaID = "org.gnome.desktop.interface";
constexpr const char* themeKey = "cursor-theme";
constexpr const char* sizeKey = "cursor-size";
constexpr int defaultSize = 24;
constexpr int shellTimeoutMilliseconds = 500;
// Extension states as GNOME Shell numbers them.
constexpr double extensionEnabled = 1;

GVariant* callShell(GDBusConnection* bus, const char* interface, const char* method, GVariant* arguments)
{
    return g_dbus_connection_call_sync(bus, "org.gnome.Shell", "/org/gnome/Shell", interface, method, arguments,
                                       nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, shellTimeoutMilliseconds, nullptr,
                                       nullptr);
}

bool extensionRefreshesCursors(GDBusConnection* bus)
{
    GVariant* reply = callShell(bus, "org.gnome.Shell.Extensions", "GetExtensionInfo",
                                g_variant_new("(s)", GnomeCursorThemeSetting::shellExtension));
    if (!reply)
        return false;
    GVariant* info = g_variant_get_child_value(reply, 0);
    double state = 0;
    bool found = g_variant_lookup(info, "state", "d", &state);
    g_variant_unref(info);
    g_variant_unref(reply);
    return found && state == extensionEnabled;
}

}

GnomeCursorThemeSetting::GnomeCursorThemeSetting() : settings_(g_settings_new(schemaID)) {}

GnomeCursorThemeSetting::~GnomeCursorThemeSetting()
{
    g_object_unref(settings_);
}

bool GnomeCursorThemeSetting::available()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return false;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, schemaID, TRUE);
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    return true;
}

std::optional<std::string> GnomeCursorThemeSetting::theme()
{
    gchar* value = g_settings_get_string(settings_, themeKey);
    std::optional<std::string> name;
    if (value && value[0])
        name = value;
    g_free(value);
    return name;
}

bool GnomeCursorThemeSetting::setTheme(const std::string& name)
{
    return g_settings_set_string(settings_, themeKey, name.c_str());
}

void GnomeCursorThemeSetting::resetTheme()
{
    g_settings_reset(settings_, themeKey);
}

void GnomeCursorThemeSetting::sync()
{
    g_settings_sync();
}

CursorThemeSetting::RestingPointer GnomeCursorThemeSetting::restingPointer()
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bool refreshes = bus && extensionRefreshesCursors(bus);
    if (bus)
        g_object_unref(bus);
    return refreshes ? RestingPointer::follows : RestingPointer::followsAWindowShownOverIt;
}

int GnomeCursorThemeSetting::size()
{
    int size = g_settings_get_int(settings_, sizeKey);
    return size > 0 ? size : defaultSize;
}
