#include "platform/input/IbusAddress.h"
#include "platform/input/InputMethodLanguages.h"

#include <gtest/gtest.h>

// The daemons themselves are met in the end-to-end tests of the program.
namespace {

using Languages = std::vector<std::string>;

TEST(InputMethodLanguagesTest, TwoLetterBasesKeepTheirRegionAndNamelessEnginesHaveNone)
{
    EXPECT_EQ(InputMethodLanguages::fromTag("vi"), Languages{"vi"});
    EXPECT_EQ(InputMethodLanguages::fromTag("rus"), Languages{"ru"});
    EXPECT_EQ(InputMethodLanguages::fromTag("zh_TW"), Languages{"zh-TW"});
    EXPECT_EQ(InputMethodLanguages::fromTag("yue"), Languages{"yue"});
    EXPECT_FALSE(InputMethodLanguages::fromTag("other"));
    EXPECT_FALSE(InputMethodLanguages::fromTag(""));
    EXPECT_FALSE(InputMethodLanguages::fromTag("x1"));
}

TEST(IbusAddressTest, FileNamedAfterMachineHostAndDisplayNumber)
{
    EXPECT_EQ(IbusAddress::fileName("abc", ":1"), "abc-unix-1");
    EXPECT_EQ(IbusAddress::fileName("abc", ":0.0"), "abc-unix-0");
    EXPECT_EQ(IbusAddress::fileName("abc", "remote:10.0"), "abc-remote-10");
    EXPECT_EQ(IbusAddress::fromFileContents("# comment\nIBUS_ADDRESS=unix:abstract=/x,guid=1\nIBUS_DAEMON_PID=5\n"),
              "unix:abstract=/x,guid=1");
    EXPECT_FALSE(IbusAddress::fromFileContents("IBUS_DAEMON_PID=5\n"));
}

}
