#include "platform/autostart/LaunchAgentPropertyList.h"

#include "platform/prefs/PropertyList.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <filesystem>
#include <memory>

namespace {

std::vector<std::string> programArguments(const std::string& document)
{
    plist_t root = nullptr;
    plist_from_xml(document.data(), static_cast<uint32_t>(document.size()), &root);
    std::unique_ptr<void, decltype(&plist_free)> owner(root, &plist_free);
    std::vector<std::string> arguments;
    plist_t array = root ? plist_dict_get_item(root, "ProgramArguments") : nullptr;
    if (!array || plist_get_node_type(array) != PLIST_ARRAY)
        return arguments;
    for (uint32_t i = 0; i < plist_array_get_size(array); ++i) {
        char* value = nullptr;
        plist_get_string_val(plist_array_get_item(array, i), &value);
        arguments.push_back(value ? value : "<not a string>");
        std::free(value);
    }
    return arguments;
}

}

TEST(LaunchAgentPropertyList, OnWritesTheFourKeysAsXmlAndOffRemovesThem)
{
    TempHome home;
    LaunchAgentPropertyList agent;
    EXPECT_EQ(agent.path(), home.path() + "/Library/LaunchAgents/com.tarnwick.app.plist");
    EXPECT_FALSE(agent.exists());

    ASSERT_TRUE(agent.install("/Applications/Tarnwick & Co.app/Contents/MacOS/Tarnwick"));
    ASSERT_TRUE(agent.exists());
    std::string document = TempHome::readFile(agent.path());
    EXPECT_EQ(PropertyList::formatOf(document), PropertyList::Format::xml);
    EXPECT_NE(document.find("<!DOCTYPE plist"), std::string::npos);
    std::optional<PropertyList> agentList = PropertyList::readFile(agent.path());
    ASSERT_TRUE(agentList);
    EXPECT_EQ(agentList->entries().size(), 4u);
    EXPECT_EQ(agentList->value("Label")->stringValue(), "com.tarnwick.app");
    EXPECT_EQ(agentList->value("RunAtLoad")->type(), PropertyList::Type::boolean);
    EXPECT_EQ(agentList->value("RunAtLoad")->boolValue(), true);
    EXPECT_EQ(agentList->value("KeepAlive")->type(), PropertyList::Type::boolean);
    EXPECT_EQ(agentList->value("KeepAlive")->boolValue(), false);
    EXPECT_EQ(programArguments(document),
              std::vector<std::string>{"/Applications/Tarnwick & Co.app/Contents/MacOS/Tarnwick"});

    EXPECT_TRUE(agent.remove());
    EXPECT_FALSE(agent.exists());
}

TEST(LaunchAgentPropertyList, AFileSomeoneElseCreatedCountsAsOnAndAnUnwritableFolderStaysOff)
{
    TempHome home;
    LaunchAgentPropertyList agent;
    TempHome::writeFile(agent.path(), "<plist/>");
    EXPECT_TRUE(agent.exists());
    EXPECT_TRUE(agent.remove());

    std::filesystem::remove_all(home.path() + "/Library");
    TempHome::writeFile(home.path() + "/Library", "a file where the folder should be");
    EXPECT_FALSE(agent.install("/Applications/Tarnwick.app/Contents/MacOS/Tarnwick"));
    EXPECT_FALSE(agent.exists());
    EXPECT_FALSE(agent.install(""));
}

TEST(LaunchAgentPropertyList, TheProgramIsTheBundleExecutableOrTheOneInsideTheBundle)
{
    EXPECT_EQ(LaunchAgentPropertyList::executablePath("/Applications/Tarnwick.app/Contents/MacOS/Tarnwick",
                                                      "/Applications/Tarnwick.app"),
              "/Applications/Tarnwick.app/Contents/MacOS/Tarnwick");
    EXPECT_EQ(LaunchAgentPropertyList::executablePath(std::nullopt, "/Users/me/Tarnwick.app"),
              "/Users/me/Tarnwick.app/Contents/MacOS/Tarnwick");
}
