#include "platform/input/XkbSymbolsName.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Layouts = std::array<std::string, XkbSymbolsName::maximumGroups>;

bool knownLayout(const std::string& name)
{
    static const std::set<std::string> layouts = {"us", "ru", "de", "fr", "brai"};
    return layouts.count(name) > 0;
}

Layouts layouts(std::string_view symbols)
{
    return XkbSymbolsName::groupLayouts(symbols, knownLayout);
}

}

TEST(XkbSymbolsNameTest, EachGroupTakesTheLayoutNamedForItAndSkipsTheModelAndOptions)
{
    EXPECT_EQ(layouts("pc+us+ru:2+inet(evdev)"), (Layouts{"us", "ru", "", ""}));
    EXPECT_EQ(layouts("pc+us+ru:2+de:3+inet(evdev)"), (Layouts{"us", "ru", "de", ""}));
    EXPECT_EQ(layouts("pc+de(nodeadkeys)+us(intl):2+inet(evdev)+group(alt_shift_toggle)"),
              (Layouts{"de(nodeadkeys)", "us(intl)", "", ""}));
    EXPECT_EQ(layouts("pc+us+ru:2+fr:3+de:4"), (Layouts{"us", "ru", "fr", "de"}));
    // Options placed in a group, and files merged with "|", do not hide the layout.
    EXPECT_EQ(layouts("pc+ru+us:2+level3(ralt_switch):2|inet(evdev)"), (Layouts{"ru", "us", "", ""}));
    EXPECT_EQ(layouts("us+ru:2"), (Layouts{"us", "ru", "", ""}));
}

TEST(XkbSymbolsNameTest, LayoutsTheRegistryDoesNotKnowAreStillFound)
{
    EXPECT_EQ(layouts("pc+mine+ru:2+inet(evdev)"), (Layouts{"mine", "ru", "", ""}));
    EXPECT_EQ(layouts("pc+us+mine(variant):2"), (Layouts{"us", "mine(variant)", "", ""}));
    EXPECT_EQ(layouts("solo"), (Layouts{"solo", "", "", ""}));
}

TEST(XkbSymbolsNameTest, MalformedNamesGiveNoLayouts)
{
    EXPECT_EQ(layouts(""), Layouts{});
    EXPECT_EQ(layouts("pc+ru:9+de:x+:2"), Layouts{});
    EXPECT_EQ(layouts("pc++us"), (Layouts{"us", "", "", ""}));
}

TEST(XkbSymbolsNameTest, VariantsSplitFromTheirLayout)
{
    EXPECT_EQ(XkbSymbolsName::splitVariant("de(nodeadkeys)"), std::make_pair(std::string("de"), std::string("nodeadkeys")));
    EXPECT_EQ(XkbSymbolsName::splitVariant("us"), std::make_pair(std::string("us"), std::string()));
    EXPECT_EQ(XkbSymbolsName::splitVariant("us(intl"), std::make_pair(std::string("us"), std::string("intl")));
}
