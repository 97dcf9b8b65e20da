#include "language/CursorStyle.h"

#include <gtest/gtest.h>

namespace {

const InputLanguage english = InputLanguage::make("en", "English (US)", "xkb:us");
const InputLanguage russian = InputLanguage::make("ru", "Russian", "xkb:ru");
const InputLanguage german = InputLanguage::make("de", "German", "xkb:de");

}

TEST(CursorStyleTest, RawValuesAreTheCaseNamesAndOnlyAnExactMatchMakesAStyle)
{
    std::vector<std::string> raw, titles;
    for (CursorStyle style : allCursorStyles) {
        raw.emplace_back(rawValue(style));
        titles.emplace_back(menuTitle(style));
        EXPECT_EQ(cursorStyle(rawValue(style)), style);
    }
    EXPECT_EQ(raw, (std::vector<std::string>{"system", "letterBadge", "dotBadge", "highContrast"}));
    EXPECT_EQ(titles, (std::vector<std::string>{"System cursor", "Letter badge", "Color dot", "High contrast"}));
    for (const char* other : {"DotBadge", "dotbadge", " dotBadge", "", "letter badge"})
        EXPECT_EQ(cursorStyle(other), std::nullopt) << other;
}

TEST(CursorStyleTest, EachStyleDrawsItsOwnBadgeInTheLanguageColour)
{
    for (const InputLanguage& language : {english, russian, german, InputLanguage::unknown()})
        EXPECT_EQ(marker(CursorStyle::system, language), std::nullopt);

    auto letter = marker(CursorStyle::letterBadge, english);
    ASSERT_TRUE(letter);
    EXPECT_EQ(*letter, (CursorMarker{"En", Color::calibratedRGB(0.0, 0.2, 0.7, 1.0), Color::white(),
                                     Color::white().withAlphaComponent(0.85), 18.0, 1.0}));

    auto dot = marker(CursorStyle::dotBadge, russian);
    ASSERT_TRUE(dot);
    EXPECT_EQ(*dot, (CursorMarker{std::nullopt, Color::systemRed(), Color::clear(),
                                  Color::black().withAlphaComponent(0.85), 18.0, 1.4}));

    auto contrast = marker(CursorStyle::highContrast, russian);
    ASSERT_TRUE(contrast);
    EXPECT_EQ(*contrast, (CursorMarker{"\u0420\u0443", Color::systemYellow(), Color::black(),
                                       Color::black().withAlphaComponent(0.9), 18.0, 1.2}));

    auto germanLetter = marker(CursorStyle::letterBadge, german);
    ASSERT_TRUE(germanLetter);
    EXPECT_EQ(germanLetter->text, "DE");
    EXPECT_NEAR(germanLetter->fillColor.hsba().hue * 360, 338, 1e-9);
}

TEST(CursorStyleTest, OnlyTheExactCodesEnAndRuHaveFixedColours)
{
    InputLanguage upper("EN", "??", "English", "xkb:us");
    auto badge = marker(CursorStyle::letterBadge, upper);
    ASSERT_TRUE(badge);
    EXPECT_EQ(badge->fillColor, InputLanguage::stableColor("EN"));
    EXPECT_NE(badge->fillColor, Color::calibratedRGB(0.0, 0.2, 0.7, 1.0));

    auto unknown = marker(CursorStyle::dotBadge, InputLanguage::unknown());
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->fillColor, InputLanguage::stableColor("unknown"));
}
