#include "platform/syslog/SystemLog.h"

#include <gtest/gtest.h>

using Type = SystemLog::Type;

TEST(SystemLogTest, JournalEntriesCarryTheIdentifierThePriorityAndTheSubsystemAndCategory)
{
    const std::vector<std::string> common = {"SYSLOG_IDENTIFIER=tarnwick", "SUBSYSTEM=com.tarnwick.macos",
                                             "CATEGORY=runtime"};
    for (auto [type, priority] : {std::pair{Type::debug, "7"}, {Type::info, "6"}, {Type::error, "3"}}) {
        std::vector<std::string> expected = {"MESSAGE=Tarnwick launched", std::string("PRIORITY=") + priority};
        expected.insert(expected.end(), common.begin(), common.end());
        EXPECT_EQ(SystemLog::journalFields(type, "Tarnwick launched"), expected);
    }
    // The journal keeps a message whole, line breaks and all.
    EXPECT_EQ(SystemLog::journalFields(Type::info, "two\nlines").front(), "MESSAGE=two\nlines");
    EXPECT_EQ(SystemLog::journalFields(Type::info, "").front(), "MESSAGE=");
}
