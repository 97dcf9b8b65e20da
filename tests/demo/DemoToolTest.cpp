// GoogleTest first: the X headers define None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/TempHome.h"
#include "support/XvfbServer.h"

#include <QImage>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

class DemoToolTest : public testing::Test {
protected:
    std::map<std::string, std::string> environment() const
    {
        return {{"DISPLAY", server.display()}, {"XCURSOR_THEME", XvfbServer::cursorTheme()}, {"XCURSOR_SIZE", "24"}};
    }

    std::unique_ptr<ChildProcess> start(std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), DEMO_TOOL);
        return std::make_unique<ChildProcess>(arguments, environment());
    }

    // The tool's status and its standard output.
    std::pair<int, std::string> run(std::vector<std::string> arguments) const
    {
        auto tool = start(std::move(arguments));
        int status = tool->wait(20).value_or(-1);
        return {status, tool->standardOutput()};
    }

    std::unique_ptr<ChildProcess> window(const std::string& cursorName) const
    {
        auto tool = start({"window", cursorName});
        bool ready = waitUntil(10, [&] { return tool->standardOutput() == "ready\n"; });
        EXPECT_TRUE(ready) << tool->standardError();
        return tool;
    }

    std::vector<std::uint32_t> liveCursor(int& width, int& height) const
    {
        Display* display = XOpenDisplay(server.display().c_str());
        XFixesCursorImage* image = XFixesGetCursorImage(display);
        width = image->width;
        height = image->height;
        std::vector<std::uint32_t> pixels(image->pixels, image->pixels + width * height);
        XFree(image);
        XCloseDisplay(display);
        return pixels;
    }

    XvfbServer server;
    TempHome home;
};

std::string hashLine(const std::vector<std::uint32_t>& pixels)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::uint32_t pixel : pixels) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (pixel >> shift) & 0xFF;
            hash *= 0x100000001b3ULL;
        }
    }
    char text[18];
    std::snprintf(text, sizeof text, "%016llx\n", static_cast<unsigned long long>(hash));
    return text;
}

std::uint32_t premultiplied(QRgb straight)
{
    auto times = [&](int channel) { return static_cast<std::uint32_t>((channel * qAlpha(straight) + 127) / 255); };
    return static_cast<std::uint32_t>(qAlpha(straight)) << 24 | times(qRed(straight)) << 16 |
           times(qGreen(straight)) << 8 | times(qBlue(straight));
}

}

TEST_F(DemoToolTest, CaptureWritesAPngWhosePixelsPremultipliedAreExactlyTheLiveCursor)
{
    ASSERT_TRUE(server.running());
    auto shown = window("left_ptr");
    std::string path = home.path() + "/arrow.png";

    auto [status, output] = run({"capture", path});
    ASSERT_EQ(status, 0);

    int width = 0, height = 0;
    std::vector<std::uint32_t> live = liveCursor(width, height);
    EXPECT_EQ(output, std::to_string(width) + "x" + std::to_string(height) + " " + hashLine(live));
    QImage picture(QString::fromStdString(path), "PNG");
    ASSERT_EQ(picture.width(), width);
    ASSERT_EQ(picture.height(), height);
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint32_t> fromFile;
    bool sawPartialAlpha = false;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            QRgb pixel = picture.pixel(x, y);
            sawPartialAlpha |= qAlpha(pixel) > 0 && qAlpha(pixel) < 255;
            fromFile.push_back(premultiplied(pixel));
        }
    }
    EXPECT_EQ(fromFile, live);
    // The arrow's soft edge is where a careless conversion would lose bits.
    EXPECT_TRUE(sawPartialAlpha);
}

TEST_F(DemoToolTest, ThemeHashEqualsLiveHashOnlyWhileTheThemesArrowIsShown)
{
    ASSERT_TRUE(server.running());
    auto arrowWindow = window("left_ptr");
    int width = 0, height = 0;
    std::string live = hashLine(liveCursor(width, height));
    EXPECT_EQ(run({"live-hash"}), std::make_pair(0, live));
    EXPECT_EQ(run({"theme-hash"}), std::make_pair(0, live));

    // A window of another client above the first, with the text cursor.
    auto textWindow = window("xterm");
    std::string text = hashLine(liveCursor(width, height));
    EXPECT_NE(text, live);
    EXPECT_EQ(run({"live-hash"}), std::make_pair(0, text));
    EXPECT_EQ(run({"theme-hash"}), std::make_pair(0, live));
    EXPECT_EQ(run({"theme-hash", "xterm"}), std::make_pair(0, text));
    EXPECT_EQ(run({"theme-hash", "no_such_cursor"}).first, 1);
}

TEST_F(DemoToolTest, WaitChangeReturnsTheSettledNewCursorOrReportsThatNothingChanged)
{
    ASSERT_TRUE(server.running());
    auto arrowWindow = window("left_ptr");
    std::string arrow = run({"live-hash"}).second;
    arrow.pop_back();

    EXPECT_EQ(run({"wait-change", arrow, "1"}), std::make_pair(1, arrow + "\n"));

    auto waiting = start({"wait-change", arrow, "5"});
    auto textWindow = window("xterm");
    EXPECT_EQ(waiting->wait(10), 0);
    EXPECT_EQ(waiting->standardOutput(), run({"theme-hash", "xterm"}).second);
}

TEST_F(DemoToolTest, LockGroupSelectsTheLayoutAndRefusesAGroupXkbCannotHave)
{
    ASSERT_TRUE(server.running());
    ChildProcess layouts({"/usr/bin/setxkbmap", "-layout", "us,ru,de"}, environment());
    ASSERT_EQ(layouts.wait(20), 0) << layouts.standardError();

    EXPECT_EQ(run({"lock-group", "1"}), std::make_pair(0, std::string("1 Russian\n")));
    Display* display = XOpenDisplay(server.display().c_str());
    XkbStateRec state;
    ASSERT_EQ(XkbGetState(display, XkbUseCoreKbd, &state), Success);
    EXPECT_EQ(state.locked_group, 1);
    EXPECT_EQ(run({"lock-group", "2"}), std::make_pair(0, std::string("2 German\n")));
    ASSERT_EQ(XkbGetState(display, XkbUseCoreKbd, &state), Success);
    EXPECT_EQ(state.locked_group, 2);
    XCloseDisplay(display);

    EXPECT_EQ(run({"lock-group", "4"}).first, 1);
    EXPECT_EQ(run({"lock-group", "one"}).first, 2);
}

TEST_F(DemoToolTest, BadgePixelsCountsOpaquePixelsOfTheLanguagesFillAndTheSheetShowsEveryCapture)
{
    QImage picture(24, 24, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int x = 0; x < 10; ++x)
        picture.setPixel(x, 3, qRgba(0, 51, 179, 255));
    for (int x = 0; x < 5; ++x)
        picture.setPixel(x, 5, qRgba(255, 59, 48, 255));
    // Half covered edge pixels of the disc are not its fill.
    picture.setPixel(0, 7, qRgba(0, 51, 179, 128));
    std::string path = home.path() + "/badge.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(path), "PNG"));

    EXPECT_EQ(run({"badge-pixels", path, "en"}), std::make_pair(0, std::string("10 #0033B3\n")));
    EXPECT_EQ(run({"badge-pixels", path, "ru"}), std::make_pair(0, std::string("5 #FF3B30\n")));
    auto [status, german] = run({"badge-pixels", path, "de"});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(german.substr(0, 3), "0 #");
    EXPECT_EQ(run({"badge-pixels", home.path() + "/missing.png", "en"}).first, 1);

    std::string sheetPath = home.path() + "/sheet.png";
    ASSERT_EQ(run({"contact-sheet", sheetPath, path, "one"}).first, 0);
    int oneWide = QImage(QString::fromStdString(sheetPath)).width();
    ASSERT_EQ(run({"contact-sheet", sheetPath, path, "one", path, "two", path, "three"}).first, 0);
    QImage sheet(QString::fromStdString(sheetPath));
    EXPECT_GT(oneWide, 0);
    EXPECT_GT(sheet.width(), 2 * oneWide);
    EXPECT_EQ(sheet.pixel(sheet.width() / 2, sheet.height() / 2) != sheet.pixel(0, 0), true);
}
