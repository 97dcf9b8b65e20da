#include "platform/input/FileInputSourceService.h"

#include "platform/runloop/ManualRunLoop.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using Languages = std::vector<std::string>;

TEST(FileInputSourceServiceTest, LinesGiveTheNameIdentifierAndLanguagesEachPossiblyMissing)
{
    auto full = FileInputSourceService::parse("name=Russian (phonetic)\nid=xkb:ru(phonetic)\nlanguages=ru, en,,\n");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->localizedName, "Russian (phonetic)");
    EXPECT_EQ(full->identifier, "xkb:ru(phonetic)");
    EXPECT_EQ(full->languages, (Languages{"ru", "en"}));

    auto partial = FileInputSourceService::parse("# typed by hand\r\nid = xkb:de\r\nlanguages=\r\nnonsense\n");
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->localizedName, std::nullopt);
    EXPECT_EQ(partial->identifier, "xkb:de");
    EXPECT_EQ(partial->languages, Languages{});

    EXPECT_EQ(FileInputSourceService::parse(""), std::nullopt);
    EXPECT_EQ(FileInputSourceService::parse(" \n\n"), std::nullopt);
}

TEST(FileInputSourceServiceTest, TheFileIsReadOnEveryQueryAndAMissingFileIsNoSource)
{
    TempHome home;
    std::string path = home.path() + "/source";
    FileInputSourceService service(path);
    EXPECT_EQ(service.currentKeyboardInputSource(), std::nullopt);
    TempHome::writeFile(path, "name=German\n");
    EXPECT_EQ(service.currentKeyboardInputSource()->localizedName, "German");
    TempHome::writeFile(path, "name=French\n");
    EXPECT_EQ(service.currentKeyboardInputSource()->localizedName, "French");
    TempHome::writeFile(path, "");
    EXPECT_EQ(service.currentKeyboardInputSource(), std::nullopt);
}

TEST(FileInputSourceServiceTest, ObserversHearOfChangesToTheFileOnly)
{
    TempHome home;
    ManualRunLoop loop;
    RunLoop::setMain(&loop);
    std::string path = home.path() + "/source";
    {
        FileInputSourceService service(path);
        int calls = 0;
        auto handle = service.observeSelectedSourceChanged([&] { ++calls; });
        TempHome::writeFile(home.path() + "/unrelated", "name=Other\n");
        loop.runPending();
        EXPECT_EQ(calls, 0);

        TempHome::writeFile(path, "name=German\n");
        loop.runPending();
        EXPECT_GE(calls, 1);

        // Replaced by rename, as atomic writers do.
        calls = 0;
        TempHome::writeFile(path + ".new", "name=French\n");
        std::rename((path + ".new").c_str(), path.c_str());
        loop.runPending();
        EXPECT_GE(calls, 1);

        calls = 0;
        handle->cancel();
        std::remove(path.c_str());
        loop.runPending();
        EXPECT_EQ(calls, 0);
    }
    RunLoop::setMain(nullptr);
}

TEST(FileInputSourceServiceTest, TheEnvironmentChoosesTheFileService)
{
    TempHome home;
    std::string path = home.path() + "/source";
    TempHome::writeFile(path, "name=Dvorak\nid=xkb:dvorak\n");
    setenv("TARNWICK_INPUT_SOURCE", ("file:" + path).c_str(), 1);
    auto service = InputSourceService::fromEnvironment();
    unsetenv("TARNWICK_INPUT_SOURCE");
    auto source = service->currentKeyboardInputSource();
    ASSERT_TRUE(source);
    EXPECT_EQ(source->identifier, "xkb:dvorak");
}
