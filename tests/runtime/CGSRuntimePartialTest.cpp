#include "runtime/CGSRuntime.h"

#include "LogCapture.h"
#include "PartialWindowServer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using Lines = std::vector<std::string>;

CFRef<CGImageRef> solid(uint32_t argb)
{
    return CFRef<CGImageRef>::adopt(CGImageCreate(1, 1, 8, 32, 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  &argb, sizeof argb));
}

CFRef<CFArrayRef> list(std::vector<CFTypeRef> values)
{
    return CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), CFIndex(values.size())));
}

class CGSRuntimePartialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PartialWindowServerReset();
        log.clear();
    }
    void TearDown() override { PartialWindowServerReset(); }

    LogCapture log;
    CGSRuntime runtime{std::vector<void*>{dlopen(TARNWICK_PARTIAL_WINDOW_SERVER, RTLD_NOW | RTLD_LOCAL)}};
};

}

TEST_F(CGSRuntimePartialTest, ImageListsKeepTheirImagesInOrderSkipOtherObjectsAndAreReleased)
{
    auto first = solid(0xFF112233), second = solid(0xFF445566);
    auto inner = list({});
    auto mixed = list({first.get(), inner.get(), second.get()});
    PartialWindowServerSetList(mixed.get());

    auto core = runtime.snapshotCoreCursor(1, 9);
    ASSERT_TRUE(core.has_value());
    EXPECT_EQ(core->images, (std::vector<CFRef<CGImageRef>>{first, second}));
    EXPECT_EQ(core->size.width, 32.0);
    EXPECT_EQ(core->hotSpot.y, 4.0);
    EXPECT_EQ(core->frameCount, 2u);
    EXPECT_EQ(core->frameDuration, 0.5);
    auto named = runtime.snapshotCursor(1, "com.apple.coregraphics.Arrow");
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(named->images, core->images);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] snapshotCoreCursor ok for id=9: size=32.0x32.0 frames=2 images=2",
                                  "[DEBUG] snapshotCursor ok for com.apple.coregraphics.Arrow: size=32.0x32.0 "
                                  "frames=2 images=2"}));
    // Every list the window server handed out was given back.
    EXPECT_EQ(CFGetRetainCount(mixed.get()), 2) << "ours and the window server's";
    core.reset();
    named.reset();
    EXPECT_EQ(CFGetRetainCount(first.get()), 2) << "ours and the list's";
}

TEST_F(CGSRuntimePartialTest, AListWithoutImagesOrWithoutAnyListGivesNoSnapshot)
{
    auto inner = list({});
    auto noImages = list({inner.get()});
    PartialWindowServerSetList(noImages.get());
    EXPECT_EQ(runtime.snapshotCoreCursor(1, 9), std::nullopt);
    EXPECT_EQ(runtime.snapshotCursor(1, "com.apple.cursor.9"), std::nullopt);
    EXPECT_EQ(log.lines(),
              (Lines{"[DEBUG] snapshotCoreCursor empty for id=9", "[DEBUG] snapshotCoreCursor empty for id=9",
                     "[WARN] snapshotCursor failed for com.apple.cursor.9: empty registered image array",
                     "[WARN] snapshotCursor failed for com.apple.cursor.9: no registered/core snapshot available"}));
    EXPECT_EQ(CFGetRetainCount(noImages.get()), 2);

    log.clear();
    PartialWindowServerSetList(nullptr);
    EXPECT_EQ(runtime.snapshotCursor(1, "com.apple.cursor.9"), std::nullopt);
    EXPECT_EQ(log.lines(),
              (Lines{"[DEBUG] snapshotCoreCursor failed for id=9: error=1000",
                     "[DEBUG] snapshotCursor registered copy miss for com.apple.cursor.9: error=1000",
                     "[WARN] snapshotCursor failed for com.apple.cursor.9: no registered/core snapshot available"}));
}

TEST_F(CGSRuntimePartialTest, WithoutTheMultiFrameFunctionTheSingleImageCallDecides)
{
    CursorSnapshot snapshot;
    snapshot.frameCount = 2;
    std::vector<CFRef<CGImageRef>> images = {solid(0xFF000000), solid(0xFFFFFFFF)};

    EXPECT_TRUE(runtime.registerCursor(1, "com.apple.coregraphics.IBeam", snapshot, images, true, true));
    EXPECT_EQ(log.lines(),
              (Lines{"[WARN] registerCursor multi-frame path unavailable: registerCursorWithImagesFn is nil",
                     "[DEBUG] registerCursorSingleImage ok for com.apple.coregraphics.IBeam seed=77",
                     "[DEBUG] registerCursor ok for com.apple.coregraphics.IBeam: frames=2 images=2 multiError=nil "
                     "multiSeed=0 singleSuccess=true"}));

    log.clear();
    PartialWindowServerSetSingleStatus(1001);
    EXPECT_FALSE(runtime.registerCursor(1, "com.apple.coregraphics.IBeam", snapshot, images, true, true));
    EXPECT_EQ(log.lines(),
              (Lines{"[WARN] registerCursor multi-frame path unavailable: registerCursorWithImagesFn is nil",
                     "[DEBUG] registerCursorSingleImage failed for com.apple.coregraphics.IBeam: error=1001 seed=77",
                     "[ERROR] registerCursor failed for com.apple.coregraphics.IBeam: multiError=nil frames=2 "
                     "images=2 multiSeed=0 singleSuccess=false"}));
    EXPECT_EQ(PartialWindowServerSingleCallCount(), 2);
}

TEST_F(CGSRuntimePartialTest, DiscoveryMatchesAnyCaseReportsEachNameOnceAndKeepsEntriesAsNumbered)
{
    EXPECT_EQ(runtime.discoverSystemCursorNames("ARROW", 128), (Lines{"Arrow.One", "dup.ARROW", "x.arrowy"}));
    EXPECT_EQ(runtime.discoverSystemCursorNames("arrow.", 2), (Lines{"Arrow.One"}));
    EXPECT_EQ(runtime.discoverSystemCursorNames("nothing", 128), Lines{});
    using Entry = CGSRuntime::SystemCursorEntry;
    EXPECT_EQ(runtime.discoverSystemCursorEntries(512),
              (std::vector<Entry>{{0, "Arrow.One"}, {1, "dup.ARROW"}, {4, "dup.ARROW"}, {5, "other"}, {6, "x.arrowy"}}));
    EXPECT_TRUE(runtime.discoverSystemCursorEntries(0).empty());
    EXPECT_TRUE(runtime.discoverSystemCursorEntries(-3).empty());
    EXPECT_EQ(log.lines(), (Lines{"[INFO] discoverSystemCursorNames token=ARROW found=3",
                                  "[INFO] discoverSystemCursorNames token=arrow. found=1",
                                  "[INFO] discoverSystemCursorNames token=nothing found=0",
                                  "[INFO] discoverSystemCursorEntries found=5 scanned=512"}));
}
