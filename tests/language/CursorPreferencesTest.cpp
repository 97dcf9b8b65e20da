#include "language/CursorPreferences.h"

#include "base/AppLog.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::size_t count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++n;
    return n;
}

// Preferences in the standard store of a private home, with debug lines on.
class CursorPreferencesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ORVELLE_VERBOSE", "1", 1);
        unsetenv("ORVELLE_ENABLE_LOGS");
        logPath = home.path() + "/Tarnwick.log";
        AppLog::testing::reset(logPath);
    }
    void TearDown() override { unsetenv("ORVELLE_VERBOSE"); }
    std::string log()
    {
        AppLog::flush();
        return TempHome::readFile(logPath);
    }
    static InputLanguage english() { return InputLanguage::make("en", "English (US)", "xkb:us"); }
    std::string storeFile() const { return home.configHome() + "/tarnwick/com.tarnwick.app.plist"; }

    TempHome home;
    std::string logPath;
    CursorPreferences preferences{UserDefaults::standard()};
    UserDefaults& defaults = UserDefaults::standard();
};

}

TEST_F(CursorPreferencesTest, AFreshStoreIsLeftHandedWithLetterBadgesAndStaysUntouched)
{
    EXPECT_TRUE(preferences.isLeftHanded());
    EXPECT_EQ(preferences.style(), CursorStyle::letterBadge);
    EXPECT_EQ(preferences.style(InputLanguage::unknown()), CursorStyle::letterBadge);
    EXPECT_FALSE(TempHome::exists(storeFile()));
    EXPECT_EQ(count(log(), "Preference missing global style; using default letterBadge"), 2u);
}

TEST_F(CursorPreferencesTest, LeftHandedFollowsTheStoredBooleanAndLogsEverySave)
{
    preferences.setLeftHanded(false);
    EXPECT_FALSE(preferences.isLeftHanded());
    EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), false);
    preferences.setLeftHanded(true);
    EXPECT_TRUE(preferences.isLeftHanded());
    std::string lines = log();
    EXPECT_NE(lines.find("Preference left-handed saved: false"), std::string::npos) << lines;
    EXPECT_NE(lines.find("Preference left-handed saved: true"), std::string::npos) << lines;

    // Something stored that is not a boolean reads as off, as it is there.
    defaults.set("tarnwick.left_handed", "sideways");
    EXPECT_FALSE(preferences.isLeftHanded());
}

TEST_F(CursorPreferencesTest, AGlobalStyleIsUsedAsStoredWithoutLookingAtTheLegacyKeys)
{
    defaults.set("tarnwick.cursor_style.global", "dotBadge");
    defaults.set("tarnwick.cursor_style.en", "highContrast");
    EXPECT_EQ(preferences.style(english()), CursorStyle::dotBadge);
    EXPECT_NE(log().find("Preference global style loaded: dotBadge"), std::string::npos);
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "dotBadge");
}

TEST_F(CursorPreferencesTest, LegacyPerLanguageStylesMigrateToTheGlobalKeyEnglishFirst)
{
    // A global value that is wrong only in its first letter counts as missing.
    defaults.set("tarnwick.cursor_style.global", "DotBadge");
    defaults.set("tarnwick.cursor_style.en", "highContrast");
    defaults.set("tarnwick.cursor_style.ru", "system");
    EXPECT_EQ(preferences.style(), CursorStyle::highContrast);
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "highContrast");
    EXPECT_NE(log().find("Preference migrated to global style from legacy key: highContrast"), std::string::npos);

    defaults.remove("tarnwick.cursor_style.global");
    defaults.set("tarnwick.cursor_style.en", "Letters");
    EXPECT_EQ(preferences.style(), CursorStyle::system);
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "system");
    EXPECT_NE(log().find("Preference migrated to global style from legacy key: system"), std::string::npos);
    // Once migrated, the global key answers.
    EXPECT_EQ(preferences.style(), CursorStyle::system);
    EXPECT_NE(log().find("Preference global style loaded: system"), std::string::npos);
}

TEST_F(CursorPreferencesTest, InvalidStylesEverywhereGiveTheDefaultAndKeepTheStoredValues)
{
    defaults.set("tarnwick.cursor_style.global", "neon");
    defaults.set("tarnwick.cursor_style.ru", std::int64_t{3});
    EXPECT_EQ(preferences.style(), CursorStyle::letterBadge);
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "neon");
    EXPECT_FALSE(defaults.contains("tarnwick.cursor_style.en"));
}

TEST_F(CursorPreferencesTest, SettingAStyleWritesTheGlobalAndBothLegacyKeys)
{
    preferences.setStyle(CursorStyle::dotBadge, std::nullopt);
    for (const char* key : {"tarnwick.cursor_style.global", "tarnwick.cursor_style.en", "tarnwick.cursor_style.ru"})
        EXPECT_EQ(defaults.string(key), "dotBadge") << key;
    EXPECT_NE(log().find("Preference global style saved: dotBadge"), std::string::npos);

    preferences.setStyle(CursorStyle::highContrast, english());
    EXPECT_EQ(preferences.style(InputLanguage::make("ru", "Russian", "xkb:ru")), CursorStyle::highContrast);
}

TEST_F(CursorPreferencesTest, AChangeMadeOutsideTheApplicationIsSeenOnTheNextRead)
{
    preferences.setStyle(CursorStyle::dotBadge);
    UserDefaults other(storeFile());
    other.set("tarnwick.cursor_style.global", "highContrast");
    other.set("tarnwick.left_handed", false);
    EXPECT_EQ(preferences.style(), CursorStyle::highContrast);
    EXPECT_FALSE(preferences.isLeftHanded());
}
