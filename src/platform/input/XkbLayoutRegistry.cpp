#include "platform/input/XkbLayoutRegistry.h"

#include "base/AppLog.h"
#include "platform/input/Iso639.h"
#include "platform/input/XkbSymbolsName.h"

#include <xkbcommon/xkbregistry.h>

#include <memory>

bool XkbLayoutRegistry::knowsLayout(const std::string& name)
{
    load();
    return languages_.count({name, ""}) > 0;
}

std::optional<std::vector<std::string>> XkbLayoutRegistry::languages(const std::string& layout)
{
    load();
    auto [name, variant] = XkbSymbolsName::splitVariant(layout);
    for (const Key& key : {Key{name, variant}, Key{name, ""}})
        if (auto found = languages_.find(key); found != languages_.end())
            return found->second;
    return std::nullopt;
}

std::optional<std::string> XkbLayoutRegistry::layoutDescribedAs(const std::string& description)
{
    load();
    auto found = layouts_.find(description);
    return found != layouts_.end() ? std::optional(found->second) : std::nullopt;
}

InputSource XkbLayoutRegistry::sourceDescribedAs(const std::string& description, const std::string& fallbackLayout)
{
    InputSource source;
    source.localizedName = description;
    std::string layout = layoutDescribedAs(description).value_or(fallbackLayout);
    if (!layout.empty()) {
        source.identifier = "xkb:" + layout;
        source.languages = languages(layout);
    }
    return source;
}

void XkbLayoutRegistry::load()
{
    if (loaded_)
        return;
    loaded_ = true;
    std::unique_ptr<rxkb_context, decltype(&rxkb_context_unref)> context(
        rxkb_context_new(RXKB_CONTEXT_LOAD_EXOTIC_RULES), &rxkb_context_unref);
    if (!context || !rxkb_context_parse_default_ruleset(context.get())) {
        AppLog::warn("Input sources: cannot read the XKB layout registry; layouts have no languages");
        return;
    }
    for (rxkb_layout* layout = rxkb_layout_first(context.get()); layout; layout = rxkb_layout_next(layout)) {
        const char* variant = rxkb_layout_get_variant(layout);
        std::string name = rxkb_layout_get_name(layout);
        if (const char* description = rxkb_layout_get_description(layout))
            layouts_.emplace(description, variant && variant[0] ? name + "(" + variant + ")" : name);
        std::vector<std::string>& codes = languages_[{name, variant ? variant : ""}];
        // Exotic rules repeat some layouts; the first list of languages wins.
        if (!codes.empty())
            continue;
        for (rxkb_iso639_code* code = rxkb_layout_get_iso639_first(layout); code; code = rxkb_iso639_code_next(code))
            codes.push_back(Iso639::shortestCode(rxkb_iso639_code_get_code(code)));
    }
}
