#include "ProgramOnXServer.h"

#include <X11/Xcursor/Xcursor.h>

#include <csignal>
#include <iostream>
#include <numbers>
#include <set>

namespace {

struct Case {
    int size;
    bool leftHanded;
    const char* style;
    std::vector<const char*> xNames;
};

// What the badge did to a theme cursor on screen: the share of the glyph's
// opaque pixels unchanged, found through the hot spots (mirrored, column c
// lands where the mirrored hot spot, width - x, says), and the opaque pixels
// beyond the glyph.
struct Figures {
    double survival = 0;
    int discPixels = 0;
    ScreenCursor live;

    Figures(ScreenCursor shown, const XcursorImage& glyph, bool mirrored) : live(std::move(shown))
    {
        std::set<long> covered;
        int opaque = 0, kept = 0;
        for (int gy = 0; gy < static_cast<int>(glyph.height); ++gy) {
            for (int gx = 0; gx < static_cast<int>(glyph.width); ++gx) {
                std::uint32_t pixel = glyph.pixels[gy * glyph.width + gx];
                int x = live.xHot + (mirrored ? int(glyph.xhot) - 1 - gx : gx - int(glyph.xhot));
                int y = live.yHot + gy - int(glyph.yhot);
                if ((pixel >> 24) == 0)
                    continue;
                ++opaque;
                if (x < 0 || y < 0 || x >= live.width || y >= live.height)
                    continue;
                covered.insert(long(y) * live.width + x);
                kept += live.pixels[std::size_t(y) * live.width + x] == pixel;
            }
        }
        survival = opaque ? double(kept) / opaque : 0;
        for (long at = 0; at < long(live.pixels.size()); ++at)
            discPixels += (live.pixels[std::size_t(at)] >> 24) >= 0x80 && !covered.contains(at);
    }
};

// Most of a whole disc of 18 points at so many pixels per point.
double wholeDisc(int pixelsPerPoint)
{
    return 0.85 * std::numbers::pi * 81 * pixelsPerPoint * pixelsPerPoint;
}

class ThemeCursorBadgeTest : public ::testing::Test {
protected:
    // The program with the case's size, style and hand, then a window of each
    // X name once the badge shows beside its whole glyph (or after 10 s).
    std::vector<Figures> run(const Case& run)
    {
        TempHome::writeFile(session.home().configHome() + "/tarnwick/com.tarnwick.app.plist",
                            std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                        "<key>tarnwick.cursor_style.global</key><string>") +
                                run.style + "</string><key>tarnwick.left_handed</key><" +
                                (run.leftHanded ? "true" : "false") + "/></dict></plist>");
        std::string size = std::to_string(run.size);
        setenv("XCURSOR_SIZE", size.c_str(), 1);
        auto program = session.launch({{"XCURSOR_SIZE", size}});
        EXPECT_TRUE(session.waitForLog("Tarnwick launch.")) << program->standardError();
        std::vector<Figures> seen;
        for (const char* xName : run.xNames) {
            XcursorImage* glyph = XcursorLibraryLoadImage(xName, std::getenv("XCURSOR_THEME"), run.size);
            CursorTestWindow window(xName);
            auto measure = [&] { return Figures(window.onScreen(), *glyph, run.leftHanded); };
            waitUntil(10, [&] { return measure().discPixels > 40 && measure().survival >= 0.98; });
            seen.push_back(measure());
            const Figures& f = seen.back();
            std::cout << "[figures] " << run.style << " " << size << "px " << (run.leftHanded ? "left " : "right ")
                      << xName << ": live " << f.live.width << "x" << f.live.height << " hot " << f.live.xHot << ","
                      << f.live.yHot << " survival " << f.survival * 100 << "% disc " << f.discPixels << " px\n";
            XcursorImageDestroy(glyph);
        }
        program->signal(SIGTERM);
        EXPECT_EQ(program->wait(10), 0) << program->standardError();
        return seen;
    }

    ProgramOnXServer session;
};

TEST_F(ThemeCursorBadgeTest, TheBadgeSitsBesideTheWholeThemeGlyphAndGrowsWithTheThemeSize)
{
    ASSERT_TRUE(session.ready());
    const std::vector<const char*> shapes{"left_ptr", "xterm", "hand2"};
    for (bool leftHanded : {false, true}) {
        std::vector<Figures> at24;
        for (int size : {24, 32, 48}) {
            std::vector<Figures> seen = run({size, leftHanded, "letterBadge", shapes});
            for (std::size_t i = 0; i < seen.size(); ++i) {
                EXPECT_GE(seen[i].survival, 0.98) << shapes[i] << " " << size << " left " << leftHanded;
                EXPECT_GE(seen[i].discPixels, wholeDisc(size / 24)) << shapes[i] << " " << size;
                if (size == 48) {
                    EXPECT_NEAR(double(seen[i].discPixels) / at24[i].discPixels, 4, 1) << shapes[i];
                }
            }
            if (size == 24)
                at24 = seen;
        }
    }
    // Every style keeps its whole disc off the glyph.
    for (const char* style : {"dotBadge", "highContrast"}) {
        for (const Figures& figures : run({24, false, style, shapes})) {
            EXPECT_GE(figures.survival, 0.98) << style;
            EXPECT_GE(figures.discPixels, wholeDisc(1)) << style;
        }
    }
}

TEST_F(ThemeCursorBadgeTest, ResizeCursorsKeepTheirKindAndTheirHotSpot)
{
    ASSERT_TRUE(session.ready());
    for (int size : {24, 48}) {
        for (const Figures& figures :
             run({size, false, "letterBadge", {"sb_h_double_arrow", "sb_v_double_arrow", "bottom_right_corner"}})) {
            EXPECT_GE(figures.survival, 0.98) << size;
            // Square at an arrow's size, each is a diagonal resize cursor,
            // which grows by 26 points each way.
            EXPECT_EQ(figures.live.width, (32 + 26) * size / 24);
            EXPECT_EQ(figures.live.height, (32 + 26) * size / 24);
        }
    }
}

}
