#include "platform/updater/SoftwareVersion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(SoftwareVersion, OrdersReleasesNumericallyPieceByPiece)
{
    // Each is older than the next.
    std::vector<std::string> ascending = {"0.1",   "0.1.1", "0.9",   "0.10",  "1.0a1", "1.0b1",
                                          "1.0b2", "1.0rc1", "1.0", "1.0.1", "1.2",   "1.10",
                                          "2",     "10.0",  "20250101", "99999999999999999999.1"};
    for (std::size_t i = 0; i < ascending.size(); ++i)
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            int order = SoftwareVersion::compare(ascending[i], ascending[j]);
            int expected = (i > j) - (i < j);
            EXPECT_EQ(order, expected) << ascending[i] << " vs " << ascending[j];
        }
}

TEST(SoftwareVersion, TreatsSpellingsOfTheSameVersionAsEqual)
{
    EXPECT_EQ(SoftwareVersion::compare("1.2", "1.2.0"), 0);
    EXPECT_EQ(SoftwareVersion::compare("1.02", "1.2"), 0);
    EXPECT_EQ(SoftwareVersion::compare("1.0B1", "1.0b1"), 0);
    EXPECT_EQ(SoftwareVersion::compare(" 1.2 ", "1.2"), 0);
    EXPECT_EQ(SoftwareVersion::compare("1-2", "1.2"), 0);
    EXPECT_EQ(SoftwareVersion::compare("", "0"), 0);
}
