#include "language/LanguageDetector.h"

#include "base/AppLog.h"
#include "platform/input/FileInputSourceService.h"
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

// Input sources whose current source the test sets directly.
class StubInputSources : public InputSourceService {
public:
    std::optional<InputSource> current;

    std::optional<InputSource> currentKeyboardInputSource() override { return current; }
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()>) override { return nullptr; }
};

InputSource source(std::optional<std::string> name, std::optional<std::string> id,
                   std::optional<std::vector<std::string>> languages)
{
    return InputSource{std::move(name), std::move(id), std::move(languages)};
}

class LanguageDetectorTest : public ::testing::Test {
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
    InputLanguage detect(InputSource current)
    {
        sources.current = std::move(current);
        return detector.detect().language;
    }

    TempHome home;
    std::string logPath;
    StubInputSources sources;
    LanguageDetector detector{sources};
};

}

TEST_F(LanguageDetectorTest, TheFirstLanguageOfTheSourceDecidesWhateverItsName)
{
    EXPECT_EQ(detect(source("English", "xkb:us", std::vector<std::string>{"ru", "en"})),
              InputLanguage("ru", "\u0420\u0443", "English", "xkb:us"));
    EXPECT_NE(log().find("LanguageDetector via input languages: sourceID=xkb:us name=English raw=ru normalized=ru"),
              std::string::npos);

    EXPECT_EQ(detect(source(" Cangjie ", "im:cangjie", std::vector<std::string>{"zh-Hant-TW"})),
              InputLanguage("zh-hant", "\u7E41", "Cangjie", "im:cangjie"));
    EXPECT_EQ(detect(source("Klingon", "xkb:tlh", std::vector<std::string>{"tlhx_KL"})).code(), "unknown");
}

TEST_F(LanguageDetectorTest, WithoutUsableLanguagesTheKeywordTableDecidesFirstMatchWinning)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"xkb:ru(phonetic)", "Russian (phonetic)", "ru"},
        {"com.apple.inputmethod.SCIM_ITABC", "Pinyin", "zh-hans"},
        {"com.apple.keylayout.ABC", "ABC", "en"},
        {"xkb:au", "Australian", "en"},
        {"xkb:be", "Belgian", "nl"},
        {"xkb:nl_std", "Dutch", "nl"},
        {"xkb:ua", "Ukrainian", "uk"},
        {"xkb:ch", "Swiss German", "de"},
        {"xkb:ca", "Canadian French", "fr"},
        {"im:kotoeri", "Romaji", "ja"},
        {"im:hangul", "2-Set", "ko"},
        {"im:tcim", "Zhuyin", "zh-hant"},
        {"im:yue", "Traditional Chinese", "zh-hant"},
        {"im:zh", "Chinese", "zh"},
        {"xkb:dvorak", "Dvorak", "unknown"},
    };
    for (const auto& [id, name, code] : cases) {
        InputLanguage language = detect(source(name, id, std::nullopt));
        EXPECT_EQ(language.code(), code) << id << " " << name;
        EXPECT_EQ(language.displayName(), name);
        EXPECT_EQ(language.sourceID(), id);
    }
    EXPECT_NE(log().find("LanguageDetector via fallback: sourceID=xkb:dvorak name=Dvorak code=unknown"),
              std::string::npos);

    // An empty list, or an empty first entry, is as good as none.
    EXPECT_EQ(detect(source("Russian", "xkb:ru", std::vector<std::string>{})).code(), "ru");
    EXPECT_EQ(detect(source("Russian", "xkb:ru", std::vector<std::string>{"", "de"})).code(), "ru");
    EXPECT_EQ(count(log(), "LanguageDetector via fallback: sourceID=xkb:ru name=Russian code=ru"), 2u);
}

TEST_F(LanguageDetectorTest, MissingOrBlankNamesAndIdentifiersTakeTheirDefaults)
{
    InputLanguage nameless = detect(source("", "xkb:de", std::vector<std::string>{"de"}));
    EXPECT_EQ(nameless, InputLanguage("de", "DE", "Unknown", "xkb:de"));

    InputLanguage bare = detect(source(std::nullopt, std::nullopt, std::nullopt));
    EXPECT_EQ(bare, InputLanguage("unknown", "??", "Unknown", "unknown"));
    EXPECT_NE(log().find("LanguageDetector via fallback: sourceID=unknown name=Unknown code=unknown"),
              std::string::npos);
}

TEST_F(LanguageDetectorTest, NoCurrentSourceGivesUnknownAndOneWarningPerCall)
{
    sources.current.reset();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(detector.detect(), LanguageState{InputLanguage::unknown()});
    EXPECT_EQ(count(log(), "[WARN] LanguageDetector: no current keyboard input source"), 3u) << log();
}

TEST_F(LanguageDetectorTest, ASourceFileIsReadAfreshOnEveryDetection)
{
    std::string path = home.path() + "/input-source";
    FileInputSourceService file(path);
    LanguageDetector fromFile(file);
    EXPECT_EQ(fromFile.detect().language, InputLanguage::unknown());

    TempHome::writeFile(path, "name=Russian\nid=xkb:ru\nlanguages=ru,en\n");
    EXPECT_EQ(fromFile.detect().language, InputLanguage("ru", "\u0420\u0443", "Russian", "xkb:ru"));

    TempHome::writeFile(path, "name=German (no dead keys)\nid=xkb:de(nodeadkeys)\n");
    EXPECT_EQ(fromFile.detect().language, InputLanguage("de", "DE", "German (no dead keys)", "xkb:de(nodeadkeys)"));
}
