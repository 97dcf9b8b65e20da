#pragma once

#include "platform/input/InputSource.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The layouts the system's XKB rules describe (libxkbregistry), with the
// languages each one types. Parsed once, on first use.
class XkbLayoutRegistry {
public:
    bool knowsLayout(const std::string& name);

    // The languages of a layout such as "de(nodeadkeys)", most relevant first,
    // as two-letter codes where ISO 639 has one. An empty list when the
    // registry names none; nothing when it does not know the layout. An
    // unknown variant of a known layout has the layout's languages.
    std::optional<std::vector<std::string>> languages(const std::string& layout);

    // The layout a description names ("German (no dead keys)" is
    // "de(nodeadkeys)"), as compositors name their keymap's groups.
    std::optional<std::string> layoutDescribedAs(const std::string& description);
    // The source of a group a compositor names by its description: named so,
    // "xkb:" and its layout, typing the layout's languages. A description
    // the registry does not know keeps the fallback layout, if any.
    InputSource sourceDescribedAs(const std::string& description, const std::string& fallbackLayout = {});

private:
    using Key = std::pair<std::string, std::string>;

    void load();

    bool loaded_ = false;
    std::map<Key, std::vector<std::string>> languages_;
    std::map<std::string, std::string> layouts_;
};
