#include "platform/statusbar/BadgeIcon.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

StatusBadge englishBadge()
{
    return {"En", Color::calibratedRGB(0.0, 0.4, 1.0), Color::white(), Color::calibratedRGB(1.0, 0.8, 0.0)};
}

bool near(QColor actual, const Color& expected, double tolerance = 0.08)
{
    Color::RGBA e = expected.rgba();
    return std::abs(actual.redF() - e.red) < tolerance && std::abs(actual.greenF() - e.green) < tolerance &&
           std::abs(actual.blueF() - e.blue) < tolerance && std::abs(actual.alphaF() - e.alpha) < tolerance;
}

int pixelsNear(const QImage& image, const Color& color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += near(image.pixelColor(x, y), color, 0.1);
    return count;
}

}

TEST(BadgeIcon, DrawsTheBadgeInItsColoursAtEverySize)
{
    StatusBadge badge = englishBadge();
    for (int size : {16, 22, 24, 32, 64}) {
        QImage image = BadgeIcon::image(badge, size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << size;
        EXPECT_EQ(image.pixelColor(size - 1, size - 1).alpha(), 0) << size;
        // Inside the disc, above the letters.
        EXPECT_TRUE(near(image.pixelColor(size / 2, int(size * 0.16)), badge.fillColor))
            << size << " " << image.pixelColor(size / 2, int(size * 0.16)).name().toStdString();
        EXPECT_GT(pixelsNear(image, badge.textColor), size * size / 40) << size;
        EXPECT_GT(pixelsNear(image, badge.borderColor), size / 2) << size;
    }
}

TEST(BadgeIcon, ADotHasNoLettersAndNoOutlineWhenItsBorderIsClear)
{
    StatusBadge dot{std::nullopt, Color::systemRed(), Color::white(), Color::clear()};
    QImage image = BadgeIcon::image(dot, 32);
    EXPECT_EQ(pixelsNear(image, Color::white()), 0);
    EXPECT_TRUE(near(image.pixelColor(16, 16), dot.fillColor));
    EXPECT_TRUE(near(image.pixelColor(16, 1), dot.fillColor, 0.5));
}

TEST(BadgeIcon, WithoutABadgeItIsNeutralGreyWithInitials)
{
    QImage image = BadgeIcon::image(std::nullopt, 32);
    QColor fill = image.pixelColor(16, 5);
    EXPECT_EQ(fill.alpha(), 255);
    EXPECT_EQ(fill.red(), fill.green());
    EXPECT_NEAR(fill.blue(), fill.red(), 6);
    EXPECT_GT(pixelsNear(image, Color::white()), 20);
}

TEST(BadgeIcon, TheIconIsDrawnAtTheSizeTheTrayAsksFor)
{
    QIcon icon = BadgeIcon::icon(englishBadge());
    QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(22, 22)));
    EXPECT_TRUE(sizes.contains(QSize(64, 64)));
    for (int size : {18, 22, 40}) {
        QImage drawn = icon.pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(drawn.size(), QSize(size, size));
        EXPECT_EQ(drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  BadgeIcon::image(englishBadge(), size));
    }
    // Long badge texts shrink to fit rather than spill over the edge.
    QImage wide = BadgeIcon::image(StatusBadge{"WWWW", Color::black(), Color::white(), Color::clear()}, 32);
    for (int y = 0; y < 32; ++y) {
        EXPECT_EQ(wide.pixelColor(0, y).alpha(), 0);
        EXPECT_EQ(wide.pixelColor(31, y).alpha(), 0);
    }
}
