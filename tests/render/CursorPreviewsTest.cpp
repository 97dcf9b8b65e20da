#include "render/CursorPreviews.h"

#include "platform/stockcursors/StockCursor.h"
#include "support/TempHome.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::size_t pngCount(const fs::path& folder)
{
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        count += entry.path().extension() == ".png";
    return count;
}

// The mean column of the pixels of one colour, as a fraction of the width.
double meanColumnOf(const QImage& image, QRgb colour)
{
    double sum = 0;
    std::size_t count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) {
                sum += x;
                ++count;
            }
    EXPECT_GT(count, 50u);
    return count ? sum / static_cast<double>(count) / image.width() : 0;
}

}

TEST(CursorPreviews, WritesEveryStyleLanguageHandAndCursorAtTwicePointSize)
{
    TempHome home;
    fs::path folder = fs::path(home.path()) / "previews" / "nested";
    CursorPreviews::Outcome outcome = CursorPreviews::write(folder.string());
    ASSERT_TRUE(outcome.succeeded) << outcome.message;
    EXPECT_EQ(outcome.message, "wrote 132 pictures and the contact sheet " + (folder / "previews.png").string());
    // 3 badge styles x 7 languages x 2 hands x 3 cursors, the plain system
    // cursors once per hand, and the sheet.
    EXPECT_EQ(pngCount(folder), 3u * 7 * 2 * 3 + 2 * 3 + 1);

    CGSize iBeam = StockCursor::load(StockCursor::Shape::iBeam).size();
    QImage right(QString::fromStdString((folder / "dotBadge-en-right-ibeam.png").string()));
    QImage left(QString::fromStdString((folder / "dotBadge-en-left-ibeam.png").string()));
    ASSERT_FALSE(right.isNull());
    EXPECT_EQ(right.width(), static_cast<int>(2 * (iBeam.width + 26)));
    EXPECT_EQ(right.height(), static_cast<int>(2 * (iBeam.height + 30)));
    // The English blue disc hangs below the thin I-beam, which keeps the
    // left part of the canvas, or the right part when left-handed, where
    // everything is mirrored.
    QRgb englishBlue = qRgb(0, 51, 179);
    double rightHanded = meanColumnOf(right, englishBlue);
    double leftHanded = meanColumnOf(left, englishBlue);
    EXPECT_LT(rightHanded, 0.5);
    EXPECT_GT(leftHanded, 0.5);
    EXPECT_NEAR(leftHanded, 1 - rightHanded, 0.03);

    CGSize arrow = StockCursor::load(StockCursor::Shape::arrow).size();
    QImage plain(QString::fromStdString((folder / "system-right-arrow.png").string()));
    EXPECT_EQ(plain.width(), static_cast<int>(2 * arrow.width));
    EXPECT_TRUE(fs::exists(folder / "highContrast-zh-hans-left-hand.png"));
    EXPECT_TRUE(fs::exists(folder / "letterBadge-ru-right-arrow.png"));

    QImage sheet(QString::fromStdString((folder / "previews.png").string()));
    ASSERT_FALSE(sheet.isNull());
    EXPECT_GT(sheet.width(), 6 * right.width());
    EXPECT_GT(sheet.height(), 22 * right.height());
}

TEST(CursorPreviews, ReportsAFolderItCannotCreate)
{
    TempHome home;
    std::string file = home.path() + "/taken";
    TempHome::writeFile(file, "not a folder");
    CursorPreviews::Outcome outcome = CursorPreviews::write(file + "/previews");
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.message.rfind("cannot create " + file + "/previews", 0), 0u) << outcome.message;
}
