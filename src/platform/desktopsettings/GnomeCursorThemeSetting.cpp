#include "platform/desktopsettings/GnomeCursorThemeSetting.h"

#include <gio/gio.h>

namespace {

constexpr const char* schemaID = "org.gnome.desktop.interface";
constexpr const char* themeKey = "cursor-theme";
constexpr const char* sizeKey = "cursor-size";
constexpr int defaultSize = 24;

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

int GnomeCursorThemeSetting::size()
{
    int size = g_settings_get_int(settings_, sizeKey);
    return size > 0 ? size : defaultSize;
}
