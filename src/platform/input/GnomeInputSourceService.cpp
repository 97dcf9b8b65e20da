#include "platform/input/GnomeInputSourceService.h"

#include <cstdlib>
#include <gio/gio.h>

namespace {

constexpr const char* schemaID = "org.gnome.desktop.input-sources";

}

GnomeInputSourceService::GnomeInputSourceService() : settings_(g_settings_new(schemaID)) {}

GnomeInputSourceService::~GnomeInputSourceService()
{
    if (handler_)
        g_signal_handler_disconnect(settings_, handler_);
    g_object_unref(settings_);
}

bool GnomeInputSourceService::available()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, schemaID, TRUE) : nullptr;
    if (!schema)
        return false;
    g_settings_schema_unref(schema);
    return true;
}

bool GnomeInputSourceService::wanted(const std::string& choice)
{
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    bool gnomeSession = desktop && std::string(desktop).find("GNOME") != std::string::npos;
    bool asked = choice == "gnome" || ((choice.empty() || choice == "auto") && gnomeSession);
    return asked && available();
}

std::optional<std::pair<std::string, std::string>> GnomeInputSourceService::firstEntry(const char* key)
{
    GVariant* list = g_settings_get_value(settings_, key);
    std::optional<std::pair<std::string, std::string>> entry;
    if (g_variant_is_of_type(list, G_VARIANT_TYPE("a(ss)")) && g_variant_n_children(list) > 0) {
        const char* type = nullptr;
        const char* id = nullptr;
        g_variant_get_child(list, 0, "(&s&s)", &type, &id);
        entry.emplace(type, id);
    }
    g_variant_unref(list);
    return entry;
}

std::optional<InputSource> GnomeInputSourceService::currentKeyboardInputSource()
{
    auto entry = firstEntry("mru-sources");
    if (!entry)
        entry = firstEntry("sources");
    if (!entry)
        return std::nullopt;
    return source(entry->first, entry->second);
}

InputSource GnomeInputSourceService::source(const std::string& type, const std::string& id)
{
    InputSource source;
    source.localizedName = id;
    source.identifier = type + ":" + id;
    if (type == "xkb")
        source.languages = registry_.languages(id);
    return source;
}

std::shared_ptr<RunLoop::Handle> GnomeInputSourceService::observeSelectedSourceChanged(std::function<void()> callback)
{
    if (!handler_)
        handler_ = g_signal_connect(settings_, "changed", G_CALLBACK(&GnomeInputSourceService::changed), this);
    return observers_.add(std::move(callback));
}

void GnomeInputSourceService::changed(GSettings*, const char* key, void* self)
{
    std::string name = key ? key : "";
    if (name == "mru-sources" || name == "sources")
        static_cast<GnomeInputSourceService*>(self)->observers_.notifyAll();
}
