#include "platform/input/Iso639.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <gtest/gtest.h>

using Languages = std::vector<std::string>;

TEST(LayoutRegistryTest, LayoutsHaveTheirLanguagesAsTwoLetterCodesWhereOneExists)
{
    XkbLayoutRegistry registry;
    EXPECT_TRUE(registry.knowsLayout("us"));
    EXPECT_FALSE(registry.knowsLayout("inet"));
    EXPECT_FALSE(registry.knowsLayout("pc"));
    EXPECT_EQ(registry.languages("ru"), Languages{"ru"});
    EXPECT_EQ(registry.languages("de(nodeadkeys)"), Languages{"de"});
    EXPECT_EQ(registry.languages("us(altgr-intl)"), (Languages{"en", "fr", "de"}));
    EXPECT_EQ(registry.languages("ch"), (Languages{"de", "gsw"}));
    EXPECT_EQ(registry.languages("de(ro)"), Languages{"ro"});
    // A variant of its own making still types the layout's language.
    EXPECT_EQ(registry.languages("ru(mine)"), Languages{"ru"});
    EXPECT_EQ(registry.languages("brai"), Languages{});
    EXPECT_EQ(registry.languages("tarnwick_nl"), std::nullopt);
    // As compositors name their keymap's groups.
    EXPECT_EQ(registry.layoutDescribedAs("Russian"), "ru");
    EXPECT_EQ(registry.layoutDescribedAs("German (no dead keys)"), "de(nodeadkeys)");
    EXPECT_EQ(registry.layoutDescribedAs("Tarnwick"), std::nullopt);
}

TEST(LayoutRegistryTest, ThreeLetterCodesBecomeTwoLetterOnesOnlyWhereISO639HasThem)
{
    EXPECT_EQ(Iso639::shortestCode("deu"), "de");
    EXPECT_EQ(Iso639::shortestCode("ger"), "de");
    EXPECT_EQ(Iso639::shortestCode("rus"), "ru");
    EXPECT_EQ(Iso639::shortestCode("eng"), "en");
    EXPECT_EQ(Iso639::shortestCode("yue"), "yue");
    EXPECT_EQ(Iso639::shortestCode("en"), "en");
    EXPECT_EQ(Iso639::shortestCode(""), "");
}
