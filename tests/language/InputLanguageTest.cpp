#include "language/InputLanguage.h"

#include <gtest/gtest.h>

TEST(InputLanguageTest, NormalizedCodeKeepsTheBaseLanguageAndTheChineseScript)
{
    const std::pair<const char*, const char*> cases[] = {
        {" EN_us ", "en"},         {"\tEN_us\n", "en"},  {"zh_TW", "zh-hant"},   {"zh-Hans-CN", "zh-hans"},
        {"zh-HK", "zh-hant"},      {"zh-MO", "zh-hant"}, {"zh-SG", "zh-hans"},   {"zh", "zh"},
        {"zh-Latn", "zh"},         {"sr-Latn", "sr"},    {"yue", "yue"},         {"", "unknown"},
        {"   \n ", "unknown"},     {"english", "unknown"}, {"e1", "unknown"},    {"---", "unknown"},
        {"--de--AT-", "de"},       {"zh-Hant-CN", "zh-hans"}, {"ZH__hant", "zh-hant"}, {"pt-BR", "pt"},
        {"\u00A0ru\u3000", "ru"},  {"d", "unknown"},     {"ру", "unknown"},      {"unknown", "unknown"},
    };
    for (const auto& [raw, code] : cases)
        EXPECT_EQ(InputLanguage::normalizedCode(raw), code) << '"' << raw << '"';

    for (const char* code : {"en", "zh-hans", "zh-hant", "zh", "yue", "unknown"})
        EXPECT_EQ(InputLanguage::normalizedCode(InputLanguage::normalizedCode(code)), InputLanguage::normalizedCode(code))
            << code;
}

TEST(InputLanguageTest, BadgeTextHasFixedLettersForSomeCodesAndCapitalsForTheRest)
{
    const std::pair<const char*, const char*> cases[] = {
        {"en", "En"}, {"ru", "\u0420\u0443"}, {"zh-hans", "\u7B80"}, {"zh-hant", "\u7E41"}, {"unknown", "??"},
        {"uk", "UK"}, {"de", "DE"},           {"EN", "??"},          {"pt-br", "PT"},        {"zh", "ZH"},
        {"yue", "YUE"}, {"", "??"},           {"-fr", "FR"},         {"abcd", "??"},         {"e1", "??"},
    };
    for (const auto& [code, badge] : cases)
        EXPECT_EQ(InputLanguage::badgeText(code), badge) << '"' << code << '"';
}

TEST(InputLanguageTest, MadeFromASourceWithNormalisedCodeAndTrimmedOrDefaultedNameAndIdentifier)
{
    InputLanguage russian = InputLanguage::make("ru-RU", "  Russian\n", " xkb:ru ");
    EXPECT_EQ(russian.code(), "ru");
    EXPECT_EQ(russian.badgeText(), "\u0420\u0443");
    EXPECT_EQ(russian.displayName(), "Russian");
    EXPECT_EQ(russian.sourceID(), "xkb:ru");

    InputLanguage blank = InputLanguage::make("de", " \t", "\n");
    EXPECT_EQ(blank.displayName(), "Unknown");
    EXPECT_EQ(blank.sourceID(), "unknown");
    EXPECT_EQ(blank.badgeText(), "DE");

    const InputLanguage& unknown = InputLanguage::unknown();
    EXPECT_EQ(unknown, InputLanguage("unknown", "??", "Unknown", "unknown"));
    EXPECT_EQ(&unknown, &InputLanguage::unknown());

    EXPECT_NE(russian, InputLanguage::make("ru", "Russian", "xkb:ru(phonetic)"));
    EXPECT_EQ(russian, InputLanguage::make("ru", "Russian", "xkb:ru"));
}

TEST(InputLanguageTest, StableColourHashesTheCodeIntoAHueThatNeverChanges)
{
    auto degrees = [](const char* code) { return InputLanguage::stableColor(code).hsba().hue * 360; };
    EXPECT_NEAR(degrees(""), 61, 1e-9);
    // FNV-1a of "de" is 0x5C1CCEA2, of "fr" 0x5722D6F1.
    EXPECT_NEAR(degrees("de"), 0x5C1CCEA2u % 360, 1e-9);
    EXPECT_NEAR(degrees("de"), 338, 1e-9);
    EXPECT_NEAR(degrees("fr"), 81, 1e-9);
    // One step per scalar: "é" is two bytes but one step, xor 0xE9.
    std::uint32_t hash = (0x811C9DC5u ^ 0xE9u) * 16777619u;
    EXPECT_NEAR(degrees("\u00E9"), hash % 360, 1e-9);

    Color::HSBA colour = InputLanguage::stableColor("fr").hsba();
    EXPECT_EQ(colour.saturation, 0.72);
    EXPECT_EQ(colour.brightness, 0.78);
    EXPECT_EQ(colour.alpha, 1.0);
    EXPECT_EQ(InputLanguage::stableColor("fr"), Color::calibratedHSB(81 / 360.0, 0.72, 0.78, 1.0));
}
