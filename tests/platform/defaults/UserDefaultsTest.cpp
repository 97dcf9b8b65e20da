#include "platform/defaults/UserDefaults.h"

#include "base/AppLog.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::size_t count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++n;
    return n;
}

std::string plistWith(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body +
           "</dict>\n</plist>\n";
}

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("ORVELLE_ENABLE_LOGS");
        unsetenv("ORVELLE_VERBOSE");
        logPath = home.path() + "/Tarnwick.log";
        AppLog::testing::reset(logPath);
        file = home.configHome() + "/tarnwick/com.tarnwick.app.plist";
    }
    std::string log()
    {
        AppLog::flush();
        return TempHome::readFile(logPath);
    }

    TempHome home;
    std::string logPath;
    std::string file;
};

}

TEST_F(UserDefaultsTest, StandardStoreLivesInTheConfigFolderOfTheCurrentHomeAndKeepsEveryType)
{
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.path(), file);
    EXPECT_FALSE(defaults.contains("tarnwick.left_handed"));
    EXPECT_FALSE(TempHome::exists(file));

    defaults.set("text", std::string("Ру & <b>"));
    defaults.set("literal", "dotBadge");
    defaults.set("flag", false);
    defaults.set("count", std::int64_t{-9000000000});
    defaults.set("small", 7);
    defaults.set("ratio", 0.45);

    EXPECT_EQ(defaults.string("text"), "Ру & <b>");
    EXPECT_EQ(defaults.string("literal"), "dotBadge");
    EXPECT_EQ(defaults.boolean("flag"), false);
    EXPECT_TRUE(defaults.contains("flag"));
    EXPECT_EQ(defaults.integer("count"), -9000000000);
    EXPECT_EQ(defaults.integer("small"), 7);
    EXPECT_EQ(defaults.real("ratio"), 0.45);

    std::string xml = TempHome::readFile(file);
    EXPECT_NE(xml.find("<key>flag</key>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<false/>"), std::string::npos) << xml;
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    setenv("XDG_CONFIG_HOME", (home.path() + "/elsewhere").c_str(), 1);
    EXPECT_EQ(defaults.path(), home.path() + "/elsewhere/tarnwick/com.tarnwick.app.plist");
    EXPECT_FALSE(defaults.contains("flag"));
}

TEST_F(UserDefaultsTest, ValuesConvertBetweenNumbersBooleansAndStringsOnlyWhereTheMeaningIsClear)
{
    TempHome::writeFile(file, plistWith("<key>yes</key><string>YES</string>"
                                        "<key>zero</key><integer>0</integer>"
                                        "<key>number</key><string>42</string>"
                                        "<key>words</key><string>42 apples</string>"
                                        "<key>half</key><real>2.5</real>"
                                        "<key>on</key><true/>"
                                        "<key>list</key><array><string>a</string></array>"));
    UserDefaults defaults(file);
    EXPECT_EQ(defaults.boolean("yes"), true);
    EXPECT_EQ(defaults.boolean("zero"), false);
    EXPECT_EQ(defaults.boolean("words"), std::nullopt);
    EXPECT_EQ(defaults.integer("number"), 42);
    EXPECT_EQ(defaults.integer("words"), std::nullopt);
    EXPECT_EQ(defaults.integer("half"), 2);
    EXPECT_EQ(defaults.real("number"), 42.0);
    EXPECT_EQ(defaults.real("on"), 1.0);
    EXPECT_EQ(defaults.string("zero"), std::nullopt);
    EXPECT_EQ(defaults.string("list"), std::nullopt);
    EXPECT_TRUE(defaults.contains("list"));
    EXPECT_EQ(defaults.integer("missing"), std::nullopt);
}

TEST_F(UserDefaultsTest, EveryReadSeesTheFileAsItIsNowAndWritesKeepWhatOthersStored)
{
    UserDefaults defaults(file);
    // Neither the file nor its folder exists at the first read; both appear,
    // then the file goes again.
    EXPECT_FALSE(defaults.boolean("tarnwick.left_handed"));
    EXPECT_FALSE(defaults.boolean("tarnwick.left_handed"));
    TempHome::writeFile(file, plistWith("<key>tarnwick.left_handed</key><false/>"));
    EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), false);
    std::filesystem::remove(file);
    EXPECT_FALSE(defaults.boolean("tarnwick.left_handed"));

    TempHome::writeFile(file, plistWith("<key>tarnwick.left_handed</key><true/>"));
    EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), true);

    TempHome::writeFile(file, plistWith("<key>tarnwick.left_handed</key><false/><key>other</key><string>kept</string>"));
    EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), false);

    UserDefaults(file).set("tarnwick.cursor_style.global", "highContrast");
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "highContrast");
    EXPECT_EQ(defaults.string("other"), "kept");

    defaults.remove("other");
    EXPECT_FALSE(defaults.contains("other"));
    EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), false);

    // Rewritten in place, same size: the new modification time tells.
    std::string before = plistWith("<key>n</key><integer>1</integer>");
    TempHome::writeFile(file, before);
    EXPECT_EQ(defaults.integer("n"), 1);
    std::ofstream(file, std::ios::in | std::ios::out) << plistWith("<key>n</key><integer>2</integer>");
    EXPECT_EQ(defaults.integer("n"), 2);
}

TEST_F(UserDefaultsTest, RemovingAMissingKeyCreatesNoFile)
{
    UserDefaults defaults(file);
    defaults.remove("absent");
    EXPECT_FALSE(TempHome::exists(file));
}

TEST_F(UserDefaultsTest, UnparseableFileIsLoggedOnceAndKeptAsCorruptBeforeTheNextWriteReplacesIt)
{
    const std::string broken = plistWith("<key>tarnwick.left_handed</key><true/>").substr(0, 90);
    TempHome::writeFile(file, broken);
    UserDefaults defaults(file);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(defaults.boolean("tarnwick.left_handed"), std::nullopt);
    EXPECT_EQ(TempHome::readFile(file), broken) << "reading must not touch the file";
    EXPECT_FALSE(TempHome::exists(file + ".corrupt"));

    defaults.set("tarnwick.cursor_style.global", "dotBadge");
    EXPECT_EQ(TempHome::readFile(file + ".corrupt"), broken);
    EXPECT_EQ(defaults.string("tarnwick.cursor_style.global"), "dotBadge");
    EXPECT_FALSE(defaults.contains("tarnwick.left_handed"));

    std::string lines = log();
    EXPECT_EQ(count(lines, "cannot parse " + file), 1u) << lines;

    // A file that breaks again later is reported again.
    TempHome::writeFile(file, "not a property list");
    EXPECT_FALSE(defaults.contains("tarnwick.cursor_style.global"));
    lines = log();
    EXPECT_EQ(count(lines, "cannot parse " + file), 2u) << lines;
}

TEST_F(UserDefaultsTest, AFileWhoseRootIsNotADictionaryIsTreatedAsUnparseable)
{
    TempHome::writeFile(file, "<?xml version=\"1.0\"?><plist version=\"1.0\"><integer>12</integer></plist>");
    UserDefaults defaults(file);
    defaults.set("flag", true);
    EXPECT_NE(TempHome::readFile(file + ".corrupt").find("<integer>12</integer>"), std::string::npos);
    EXPECT_EQ(defaults.boolean("flag"), true);
}

TEST_F(UserDefaultsTest, AFileThatCannotBeReadIsNeverOverwritten)
{
    // Far larger than any settings file, so the store refuses to read it.
    TempHome::writeFile(file, "");
    ASSERT_EQ(truncate(file.c_str(), 100 << 20), 0);
    UserDefaults defaults(file);
    EXPECT_FALSE(defaults.contains("flag"));
    defaults.set("flag", false);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 100 << 20);
    EXPECT_FALSE(TempHome::exists(file + ".corrupt"));
    EXPECT_NE(log().find("not saving key=flag over unreadable " + file), std::string::npos);
}

TEST_F(UserDefaultsTest, WritersOnManyThreadsLoseNoChange)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([this, t] {
            UserDefaults defaults(file);
            for (int i = 0; i < 10; ++i)
                defaults.set("key." + std::to_string(t) + "." + std::to_string(i), std::int64_t{t * 100 + i});
        });
    for (auto& thread : threads)
        thread.join();
    UserDefaults defaults(file);
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(defaults.integer("key." + std::to_string(t) + "." + std::to_string(i)), t * 100 + i);
}
