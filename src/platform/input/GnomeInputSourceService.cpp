#include "platform/input/GnomeInputSourceService.h"

#include <cstdlib>
#include <string_view>
#include <gio/gio.h>

namespace {

constexpr const char* schemaID = "org.gnome.desktop.input-sources";
constexpr std::string_view enginePrefix = "ibus:";
constexpr std::string_view layoutEnginePrefix = "xkb:";

}

GnomeInputSourceService::GnomeInputSourceService(std::unique_ptr<InputSourceService> shellEngines)
    : settings_(g_settings_new(schemaID)), shellEngines_(std::move(shellEngines))
{
}

GnomeInputSourceService::~GnomeInputSourceService()
{
    if (engineObservation_)
        engineObservation_->cancel();
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

std::vector<GnomeInputSourceService::Entry> GnomeInputSourceService::entries(const char* key)
{
    GVariant* list = g_settings_get_value(settings_, key);
    std::vector<Entry> found;
    if (g_variant_is_of_type(list, G_VARIANT_TYPE("a(ss)"))) {
        for (gsize i = 0; i < g_variant_n_children(list); ++i) {
            const char* type = nullptr;
            const char* id = nullptr;
            g_variant_get_child(list, i, "(&s&s)", &type, &id);
            found.emplace_back(type, id);
        }
    }
    g_variant_unref(list);
    return found;
}

std::optional<GnomeInputSourceService::Entry> GnomeInputSourceService::firstEntry(const char* key)
{
    std::vector<Entry> list = entries(key);
    return list.empty() ? std::nullopt : std::optional<Entry>(list.front());
}

std::optional<GnomeInputSourceService::Entry> GnomeInputSourceService::entryOfEngine()
{
    std::optional<InputSource> selected = shellEngines_ ? shellEngines_->currentKeyboardInputSource() : std::nullopt;
    if (!selected || !selected->identifier || !selected->identifier->starts_with(enginePrefix))
        return std::nullopt;
    std::string engine = selected->identifier->substr(enginePrefix.size());
    bool layout = engine.starts_with(layoutEnginePrefix);
    for (const char* key : {"mru-sources", "sources"}) {
        for (const Entry& entry : entries(key)) {
            if (layout ? entry.first == "xkb" : entry == Entry("ibus", engine))
                return entry;
        }
    }
    return std::nullopt;
}

std::optional<InputSource> GnomeInputSourceService::currentKeyboardInputSource()
{
    auto entry = entryOfEngine();
    if (!entry)
        entry = firstEntry("mru-sources");
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
    if (shellEngines_ && !engineObservation_)
        engineObservation_ = shellEngines_->observeSelectedSourceChanged([this] { observers_.notifyAll(); });
    return observers_.add(std::move(callback));
}

void GnomeInputSourceService::changed(GSettings*, const char* key, void* self)
{
    std::string name = key ? key : "";
    if (name == "mru-sources" || name == "sources")
        static_cast<GnomeInputSourceService*>(self)->observers_.notifyAll();
}
