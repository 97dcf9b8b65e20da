#include "providers/x11/CursorNameMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> names(CursorNameMap::XNames xNames)
{
    return {xNames.begin(), xNames.end()};
}

std::string lower(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

const std::vector<std::string> arrowXNames = {"left_ptr", "default", "arrow", "top_left_arrow"};
const std::vector<std::string> iBeamXNames = {"xterm", "text", "ibeam"};

}

TEST(CursorNameMapTest, RoleNamesMapToTheXNamesOfTheSameCursor)
{
    for (const char* name :
         {"com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
          "com.apple.coregraphics.Arrow", "com.apple.coregraphics.ArrowCtx", "com.apple.coregraphics.ArrowS",
          "com.apple.cursor.0", "com.apple.cursor.6", "com.apple.cursor.100"})
        EXPECT_EQ(names(CursorNameMap::xNames(std::string_view(name))), arrowXNames) << name;
    for (const char* name : {"com.apple.coregraphics.IBeam", "com.apple.coregraphics.IBeamXOR",
                             "com.apple.coregraphics.IBeamS", "com.apple.cursor.1", "com.apple.cursor.101"})
        EXPECT_EQ(names(CursorNameMap::xNames(std::string_view(name))), iBeamXNames) << name;
    EXPECT_EQ(names(CursorNameMap::xNames(std::string_view("com.apple.cursor.13"))),
              (std::vector<std::string>{"hand2", "pointer", "hand1", "pointing_hand"}));

    for (const char* unknown : {"", "com.apple.coregraphics.", "com.apple.coregraphics.Nothing", "com.apple.cursor.",
                                "com.apple.cursor.45", "com.apple.cursor.-1", "com.apple.cursor.+1",
                                "com.apple.cursor.1x", "left_ptr"})
        EXPECT_TRUE(CursorNameMap::xNames(std::string_view(unknown)).empty()) << unknown;
}

TEST(CursorNameMapTest, EveryNumberHasXShapesOfItsMeaningAndTheAnimatedOnesWaitOrProgress)
{
    for (int number = CursorNameMap::firstSystemCursor; number <= CursorNameMap::lastSystemCursor; ++number) {
        EXPECT_FALSE(CursorNameMap::xNames(number).empty()) << number;
        EXPECT_NE(CursorNameMap::systemCursorName(number), nullptr) << number;
    }
    EXPECT_TRUE(CursorNameMap::xNames(45).empty());
    EXPECT_TRUE(CursorNameMap::xNames(-1).empty());
    EXPECT_EQ(CursorNameMap::systemCursorName(45), nullptr);

    EXPECT_EQ(names(CursorNameMap::xNames(4)).front(), "wait");
    for (int number : {14, 15, 16})
        EXPECT_EQ(names(CursorNameMap::xNames(number)).front(), "progress") << number;
    std::set<std::string> firstChoices;
    for (int number = 0; number <= CursorNameMap::lastSystemCursor; ++number)
        firstChoices.insert(CursorNameMap::xNames(number)[0]);
    for (const char* shape : {"crosshair", "not-allowed", "copy", "alias", "context-menu", "grab", "grabbing",
                              "e-resize", "w-resize", "n-resize", "s-resize", "ne-resize", "nw-resize", "se-resize",
                              "sw-resize", "ew-resize", "ns-resize", "nesw-resize", "nwse-resize"})
        EXPECT_TRUE(firstChoices.contains(shape)) << shape;
}

TEST(CursorNameMapTest, OnlyArrowsAreReportedWithArrowAndOnlyIBeamsWithIBeam)
{
    for (int number = 0; number <= CursorNameMap::lastSystemCursor; ++number) {
        std::string reported = lower(CursorNameMap::systemCursorName(number));
        bool isArrow = names(CursorNameMap::xNames(number)) == arrowXNames;
        bool isIBeam = names(CursorNameMap::xNames(number)) == iBeamXNames;
        EXPECT_EQ(reported.find("arrow") != std::string::npos, isArrow) << number << " " << reported;
        EXPECT_EQ(reported.find("ibeam") != std::string::npos, isIBeam) << number << " " << reported;
        EXPECT_TRUE(reported.starts_with("com.apple.")) << reported;
        // A reported name leads back to the same X shapes.
        EXPECT_EQ(names(CursorNameMap::xNames(std::string_view(CursorNameMap::systemCursorName(number)))),
                  names(CursorNameMap::xNames(number)))
            << number;
    }
}

TEST(CursorNameMapTest, NumberedNamesAreDecimalDigitsAfterThePrefix)
{
    EXPECT_EQ(CursorNameMap::systemCursorNumber("com.apple.cursor.13"), 13);
    EXPECT_EQ(CursorNameMap::systemCursorNumber("com.apple.cursor.0"), 0);
    EXPECT_EQ(CursorNameMap::systemCursorNumber("com.apple.cursor.101"), 101);
    for (const char* name : {"com.apple.cursor.", "com.apple.cursor.-3", "com.apple.cursor.+3", "com.apple.cursor.3.",
                             "com.apple.cursor.99999999999", "com.apple.coregraphics.13", "cursor.13"})
        EXPECT_EQ(CursorNameMap::systemCursorNumber(name), std::nullopt) << name;
}
