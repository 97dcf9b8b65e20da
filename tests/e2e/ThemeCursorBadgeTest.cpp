#include "ProgramOnXServer.h"

#include <X11/Xcursor/Xcursor.h>

#include <cmath>
#include <csignal>
#include <iostream>
#include <numbers>
#include <set>

namespace {

const Rgb english{0, 51, 179};

// Most of a whole disc of 18 points, cut by nothing, at so many pixels per
// point.
double wholeDisc(int pixelsPerPoint)
{
    double radius = 9.0 * pixelsPerPoint;
    return 0.85 * std::numbers::pi * radius * radius;
}

struct Case {
    int size;
    bool leftHanded;
    const char* style;
};

// What the badge did to one theme cursor on screen.
struct Figures {
    double survival = 0;  // share of the glyph's opaque pixels unchanged
    int discPixels = 0;   // opaque pixels beyond the glyph
    ScreenCursor live;
};

ScreenCursor themeImage(const char* xName, int size)
{
    XcursorImage* image = XcursorLibraryLoadImage(xName, std::getenv("XCURSOR_THEME"), size);
    if (!image)
        return {};
    ScreenCursor cursor{static_cast<int>(image->width), static_cast<int>(image->height),
                        static_cast<int>(image->xhot), static_cast<int>(image->yhot), 0,
                        std::vector<std::uint32_t>(image->pixels, image->pixels + image->width * image->height)};
    XcursorImageDestroy(image);
    return cursor;
}

// Compares with the glyph placed by its hot spot; mirrored, column c lands
// where the mirrored hot spot (width - x) says.
Figures measure(const ScreenCursor& live, const ScreenCursor& glyph, bool mirrored)
{
    Figures figures{0, 0, live};
    std::set<long> covered;
    int opaque = 0, kept = 0;
    for (int gy = 0; gy < glyph.height; ++gy) {
        for (int gx = 0; gx < glyph.width; ++gx) {
            std::uint32_t pixel = glyph.pixels[static_cast<std::size_t>(gy) * glyph.width + gx];
            if ((pixel >> 24) == 0)
                continue;
            ++opaque;
            int x = live.xHot + (mirrored ? glyph.xHot - 1 - gx : gx - glyph.xHot);
            int y = live.yHot + gy - glyph.yHot;
            if (x < 0 || y < 0 || x >= live.width || y >= live.height)
                continue;
            covered.insert(static_cast<long>(y) * live.width + x);
            kept += live.pixels[static_cast<std::size_t>(y) * live.width + x] == pixel;
        }
    }
    figures.survival = opaque ? static_cast<double>(kept) / opaque : 0;
    for (int y = 0; y < live.height; ++y) {
        for (int x = 0; x < live.width; ++x) {
            long at = static_cast<long>(y) * live.width + x;
            figures.discPixels += (live.pixels[static_cast<std::size_t>(at)] >> 24) >= 0x80 && !covered.contains(at);
        }
    }
    return figures;
}

std::string plist(const Case& run)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                       "\t<key>tarnwick.cursor_style.global</key>\n\t<string>") +
           run.style + "</string>\n\t<key>tarnwick.left_handed</key>\n\t<" + (run.leftHanded ? "true" : "false") +
           "/>\n</dict>\n</plist>\n";
}

class ThemeCursorBadgeTest : public ::testing::Test {
protected:
    // The program running with the case's size, style and hand.
    ::testing::AssertionResult start(const Case& run)
    {
        TempHome::writeFile(session.home().configHome() + "/tarnwick/com.tarnwick.app.plist", plist(run));
        setenv("XCURSOR_SIZE", std::to_string(run.size).c_str(), 1);
        program = session.launch({{"XCURSOR_SIZE", std::to_string(run.size)}});
        if (!ProgramOnXServer::waitForLog("Tarnwick launch."))
            return ::testing::AssertionFailure() << "no launch\n" << program->standardError();
        return ::testing::AssertionSuccess();
    }

    void stop()
    {
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << program->standardError();
        setenv("XCURSOR_SIZE", "24", 1);
    }

    // The cursor an application's window of this X name shows once the badge
    // is on it beside the whole glyph (or after the seconds, as it is then).
    Figures badged(const char* xName, const Case& run, double seconds = 10)
    {
        ScreenCursor glyph = themeImage(xName, run.size);
        CursorTestWindow window(xName);
        Figures figures;
        waitUntil(seconds, [&] {
            figures = measure(window.onScreen(), glyph, run.leftHanded);
            return figures.discPixels > 40 && figures.survival >= 0.98;
        });
        std::cout << "[figures] " << run.style << " " << run.size << "px " << (run.leftHanded ? "left " : "right ")
                  << xName << ": glyph " << glyph.width << "x" << glyph.height << " hot " << glyph.xHot << ","
                  << glyph.yHot << " -> live " << figures.live.width << "x" << figures.live.height << " hot "
                  << figures.live.xHot << "," << figures.live.yHot << " survival " << figures.survival * 100
                  << "% disc " << figures.discPixels << " px" << std::endl;
        return figures;
    }

    ProgramOnXServer session;
    std::unique_ptr<ChildProcess> program;
};

TEST_F(ThemeCursorBadgeTest, TheLetterBadgeSitsBesideTheThemeGlyphAndGrowsWithTheThemeSize)
{
    ASSERT_TRUE(session.ready());
    for (bool leftHanded : {false, true}) {
        std::map<std::string, int> discAt24;
        for (int size : {24, 32, 48}) {
            Case run{size, leftHanded, "letterBadge"};
            ASSERT_TRUE(start(run));
            for (const char* xName : {"left_ptr", "xterm", "hand2"}) {
                Figures figures = badged(xName, run);
                EXPECT_GE(figures.survival, 0.98) << xName << " " << size << (leftHanded ? " left" : " right");
                EXPECT_GE(figures.discPixels, wholeDisc(size / 24)) << xName << " " << size;
                EXPECT_GT(opaquePixelsNear(figures.live, english), 20) << xName << " " << size;
                if (size == 24)
                    discAt24[xName] = figures.discPixels;
                if (size == 48) {
                    double ratio = static_cast<double>(figures.discPixels) / discAt24[xName];
                    EXPECT_NEAR(ratio, 4, 1) << xName << (leftHanded ? " left" : " right");
                }
            }
            stop();
        }
    }
}

TEST_F(ThemeCursorBadgeTest, EveryStyleKeepsItsWholeDiscOffTheGlyph)
{
    ASSERT_TRUE(session.ready());
    for (const char* style : {"letterBadge", "dotBadge", "highContrast"}) {
        Case run{24, false, style};
        ASSERT_TRUE(start(run));
        for (const char* xName : {"left_ptr", "xterm", "hand2"}) {
            Figures figures = badged(xName, run);
            EXPECT_GE(figures.survival, 0.98) << style << " " << xName;
            EXPECT_GE(figures.discPixels, wholeDisc(1)) << style << " " << xName;
        }
        stop();
    }
}

TEST_F(ThemeCursorBadgeTest, ResizeCursorsKeepTheirKindAndTheirHotSpot)
{
    ASSERT_TRUE(session.ready());
    for (int size : {24, 48}) {
        Case run{size, false, "letterBadge"};
        ASSERT_TRUE(start(run));
        int pixelsPerPoint = size / 24;
        for (const char* xName : {"sb_h_double_arrow", "sb_v_double_arrow", "bottom_right_corner"}) {
            Figures figures = badged(xName, run);
            EXPECT_GE(figures.survival, 0.98) << xName << " " << size;
            // Square at an arrow's size, every one is a diagonal resize
            // cursor, which grows by 26 points each way.
            EXPECT_EQ(figures.live.width, (32 + 26) * pixelsPerPoint) << xName << " " << size;
            EXPECT_EQ(figures.live.height, (32 + 26) * pixelsPerPoint) << xName << " " << size;
        }
        stop();
    }
}

}
