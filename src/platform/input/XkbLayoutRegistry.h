#pragma once

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

private:
    using Key = std::pair<std::string, std::string>;

    void load();

    bool loaded_ = false;
    std::map<Key, std::vector<std::string>> languages_;
};
