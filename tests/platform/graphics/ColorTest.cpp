#include "platform/graphics/Color.h"

#include <gtest/gtest.h>

namespace {

void expectRGBA(const Color& color, double red, double green, double blue, double alpha)
{
    Color::RGBA rgba = color.rgba();
    EXPECT_NEAR(rgba.red, red, 1e-9);
    EXPECT_NEAR(rgba.green, green, 1e-9);
    EXPECT_NEAR(rgba.blue, blue, 1e-9);
    EXPECT_NEAR(rgba.alpha, alpha, 1e-9);
}

}

TEST(ColorTest, HueSaturationBrightnessBecomeTheRGBComponentsOfEachSectorOfTheColourWheel)
{
    expectRGBA(Color::calibratedHSB(0, 1, 1), 1, 0, 0, 1);
    expectRGBA(Color::calibratedHSB(1.0 / 6, 1, 1), 1, 1, 0, 1);
    expectRGBA(Color::calibratedHSB(2.0 / 6, 1, 1), 0, 1, 0, 1);
    expectRGBA(Color::calibratedHSB(3.0 / 6, 1, 1), 0, 1, 1, 1);
    expectRGBA(Color::calibratedHSB(4.0 / 6, 1, 1), 0, 0, 1, 1);
    expectRGBA(Color::calibratedHSB(5.0 / 6, 1, 1), 1, 0, 1, 1);
    expectRGBA(Color::calibratedHSB(1.0, 1, 1), 1, 0, 0, 1);
    expectRGBA(Color::calibratedHSB(0.3, 0, 0.5, 0.25), 0.5, 0.5, 0.5, 0.25);
    // The badge colour of a hashed language: hue 338 degrees, 0.72, 0.78.
    expectRGBA(Color::calibratedHSB(338.0 / 360, 0.72, 0.78), 0.78, 0.2184, 0.42432, 1);
}

TEST(ColorTest, RGBColoursReportTheirHueSaturationAndBrightness)
{
    Color::HSBA teal = Color::calibratedRGB(0.0, 0.5, 0.5).hsba();
    EXPECT_NEAR(teal.hue, 0.5, 1e-9);
    EXPECT_NEAR(teal.saturation, 1.0, 1e-9);
    EXPECT_NEAR(teal.brightness, 0.5, 1e-9);
    Color::HSBA magentaish = Color::calibratedRGB(0.78, 0.2184, 0.42432).hsba();
    EXPECT_NEAR(magentaish.hue * 360, 338, 1e-6);
    EXPECT_NEAR(magentaish.saturation, 0.72, 1e-9);
    EXPECT_EQ(Color::calibratedRGB(0.2, 0.2, 0.2).hsba().saturation, 0.0);

    Color::HSBA asMade = Color::calibratedHSB(61.0 / 360, 0.72, 0.78, 0.5).hsba();
    EXPECT_EQ(asMade, (Color::HSBA{61.0 / 360, 0.72, 0.78, 0.5}));
}

TEST(ColorTest, ReplacingTheAlphaKeepsEverythingElse)
{
    Color white = Color::white();
    Color faded = white.withAlphaComponent(0.85);
    expectRGBA(faded, 1, 1, 1, 0.85);
    EXPECT_NE(faded, white);
    EXPECT_EQ(faded.withAlphaComponent(1.0), white);

    Color hue = Color::calibratedHSB(0.25, 0.5, 0.5);
    EXPECT_EQ(hue.withAlphaComponent(0.3).hsba(), (Color::HSBA{0.25, 0.5, 0.5, 0.3}));
    EXPECT_EQ(hue.withAlphaComponent(0.3).alpha(), 0.3);
}

TEST(ColorTest, NamedColoursHaveTheLightAppearanceValuesOfTheDesktopPalette)
{
    expectRGBA(Color::systemRed(), 1, 59 / 255.0, 48 / 255.0, 1);
    expectRGBA(Color::systemYellow(), 1, 204 / 255.0, 0, 1);
    expectRGBA(Color::systemPink(), 1, 45 / 255.0, 85 / 255.0, 1);
    expectRGBA(Color::white(), 1, 1, 1, 1);
    expectRGBA(Color::black(), 0, 0, 0, 1);
    expectRGBA(Color::clear(), 0, 0, 0, 0);
}

TEST(ColorTest, ComponentsOutsideTheUnitRangeAreClampedAndColoursMadeDifferentlyDiffer)
{
    expectRGBA(Color::calibratedRGB(1.5, -0.5, 0.5, 2), 1, 0, 0.5, 1);
    EXPECT_EQ(Color::calibratedRGB(1, 0, 0), Color::calibratedRGB(1, 0, 0));
    EXPECT_NE(Color::calibratedRGB(1, 0, 0), Color::calibratedHSB(0, 1, 1));
    EXPECT_EQ(Color::calibratedRGB(1, 0, 0).rgba(), Color::calibratedHSB(0, 1, 1).rgba());
}
