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

    auto style = CommandLine::parse({"--style", "dotBadge"});
    EXPECT_EQ(style.action, CommandLine::Action::control);
    EXPECT_EQ(style.verb, CommandLine::Verb::style);
    EXPECT_EQ(style.style, "dotBadge");
    EXPECT_TRUE(CommandLine::parse({"--left-handed", "on"}).leftHanded);
    EXPECT_FALSE(CommandLine::parse({"--left-handed", "off"}).leftHanded);
    EXPECT_EQ(CommandLine::parse({"--quit"}).verb, CommandLine::Verb::quit);
    EXPECT_EQ(CommandLine::parse({"--check-for-updates"}).verb, CommandLine::Verb::checkForUpdates);
    for (auto bad : {std::vector<std::string>{"--style"}, {"--left-handed", "yes"}, {"--status", "now"}})
        EXPECT_EQ(CommandLine::parse(bad).action, CommandLine::Action::invalid) << bad[0];

    auto unknown = CommandLine::parse({"--frobnicate"});
    EXPECT_EQ(unknown.action, CommandLine::Action::invalid);
    EXPECT_NE(unknown.problem.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(CommandLine::parse({"--render-previews"}).action, CommandLine::Action::invalid);
    EXPECT_EQ(CommandLine::parse({"--version", "extra"}).action, CommandLine::Action::invalid);
}
