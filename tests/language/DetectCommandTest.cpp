#include "TestKeyboard.h"
#include "support/TarnwickProgram.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

namespace {

struct Result {
    std::optional<int> status;
    std::string output;
};

// `tarnwick --detect` with the given environment.
Result detect(const TarnwickProgram& tarnwick, std::map<std::string, std::string> environment)
{
    auto program = tarnwick.launch(std::move(environment), {"--detect"});
    Result result;
    result.status = program->wait(20.0);
    result.output = program->standardOutput();
    return result;
}

}

TEST(DetectCommandTest, PrintsTheLanguageOfEachKeyboardGroupOnOneLine)
{
    TempHome home;
    XvfbServer server;
    ASSERT_TRUE(server.running());
    TestKeyboard keyboard(server.display());
    ASSERT_TRUE(keyboard.setLayouts("us,ru,de"));
    std::map<std::string, std::string> environment = {{"DISPLAY", server.display()}, {"TARNWICK_INPUT_SOURCE", "xkb"}};
    TarnwickProgram tarnwick;

    const std::pair<unsigned int, const char*> groups[] = {
        {0, "en\tEn\tEnglish (US)\txkb:us\n"},
        {1, "ru\t\u0420\u0443\tRussian\txkb:ru\n"},
        {2, "de\tDE\tGerman\txkb:de\n"},
    };
    for (const auto& [group, line] : groups) {
        keyboard.lockGroup(group);
        Result result = detect(tarnwick, environment);
        EXPECT_EQ(result.status, 0) << "group " << group;
        EXPECT_EQ(result.output, line) << "group " << group;
    }
}

TEST(DetectCommandTest, WithoutADisplayOrSourceFileTheLanguageIsUnknown)
{
    TempHome home;
    TarnwickProgram tarnwick;
    Result result = detect(tarnwick, {{"DISPLAY", ""}, {"TARNWICK_INPUT_SOURCE", ""}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "unknown\t??\tUnknown\tunknown\n");
    EXPECT_NE(tarnwick.log().find("[WARN] LanguageDetector: no current keyboard input source"),
              std::string::npos);
}

TEST(DetectCommandTest, ASourceFileNamedInTheEnvironmentIsUsed)
{
    TempHome home;
    std::string path = home.path() + "/source";
    TempHome::writeFile(path, "name=Chinese (Traditional)\nid=im:cangjie\nlanguages=zh_TW\n");
    Result result = detect(TarnwickProgram(), {{"DISPLAY", ""}, {"TARNWICK_INPUT_SOURCE", "file:" + path}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "zh-hant\t\u7E41\tChinese (Traditional)\tim:cangjie\n");
}
