#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

// The symbols name of an XKB keymap, "pc+us+ru:2+de(nodeadkeys):3+inet(evdev)",
// lists the symbol files each group is built from: ":N" puts a file in group
// N, no suffix means group 1. Besides layouts it names the model's base
// ("pc") and option files ("inet(evdev)", "group(alt_shift_toggle)").
namespace XkbSymbolsName {

constexpr std::size_t maximumGroups = 4;

// The layout with its variant ("us", "de(nodeadkeys)") of each group; empty
// where none is named. isLayout tells layouts from other symbol files by the
// file name ("us", "inet"); a group whose files are all unknown to it takes
// the first one that is not the model's base.
std::array<std::string, maximumGroups> groupLayouts(std::string_view symbols,
                                                    const std::function<bool(const std::string&)>& isLayout);

// "de(nodeadkeys)" gives "de" and "nodeadkeys"; "us" gives "us" and "".
std::pair<std::string, std::string> splitVariant(const std::string& layout);

}
