#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, RecognisesEveryOptionAndRejectsTheRest)
{
    EXPECT_EQ(CommandLine::parse({}).action, CommandLine::Action::run);
    EXPECT_EQ(CommandLine::parse({"--help"}).action, CommandLine::Action::help);
    EXPECT_EQ(CommandLine::parse({"-h"}).action, CommandLine::Action::help);
    EXPECT_EQ(CommandLine::parse({"--version"}).action, CommandLine::Action::version);
    EXPECT_EQ(CommandLine::parse({"--detect"}).action, CommandLine::Action::detect);
    auto previews = CommandLine::parse({"--render-previews", "out"});
    EXPECT_EQ(previews.action, CommandLine::Action::renderPreviews);
    EXPECT_EQ(previews.previewDirectory, "out");

    auto unknown = CommandLine::parse({"--frobnicate"});
    EXPECT_EQ(unknown.action, CommandLine::Action::invalid);
    EXPECT_NE(unknown.problem.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(CommandLine::parse({"--render-previews"}).action, CommandLine::Action::invalid);
    EXPECT_EQ(CommandLine::parse({"--version", "extra"}).action, CommandLine::Action::invalid);
}
