#include "runtime/CGSRuntime.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using Lines = std::vector<std::string>;

CFRef<CGImageRef> pixel()
{
    uint32_t value = 0xFFFFFFFF;
    return CFRef<CGImageRef>::adopt(CGImageCreate(1, 1, 8, 32, 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  &value, sizeof value));
}

const std::string allFalse = " main=false register=false registerSingle=false copy=false set=false createImage=false "
                             "cursorName=false dockOverride=false systemSet=false systemSetSeed=false show=false "
                             "hide=false scale=false coreReset=false coreSetSeed=false coreCopy=false "
                             "removeRegistered=false globalData=false currentSeed=false";

}

TEST(CGSRuntimeUnresolvedTest, StartUpLineCountsTheHandlesAndShowsNothingResolved)
{
    LogCapture log;
    CGSRuntime none(std::vector<void*>{});
    // The C library is a real handle that exports none of the names.
    void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(libc, nullptr);
    CGSRuntime one({libc});
    EXPECT_EQ(log.lines(), (Lines{"[INFO] CGSRuntime initialized. handles=0" + allFalse,
                                  "[INFO] CGSRuntime initialized. handles=1" + allFalse}));
    EXPECT_EQ(one.searchHandles(), std::vector<void*>{libc});
}

TEST(CGSRuntimeUnresolvedTest, EveryOperationLogsItsOwnMessageAndReturnsTheNeutralResult)
{
    LogCapture log;
    CGSRuntime runtime(std::vector<void*>{});
    log.clear();
    const std::string arrow = "com.apple.coregraphics.Arrow";

    EXPECT_EQ(runtime.mainConnectionID(), std::nullopt);
    EXPECT_EQ(runtime.mainConnectionID(), std::nullopt);
    EXPECT_EQ(runtime.currentCursorSeed(), std::nullopt) << "nil, not 0";
    EXPECT_EQ(runtime.snapshotCoreCursor(7, 13), std::nullopt);
    EXPECT_EQ(runtime.cursorScale(7), std::nullopt);
    EXPECT_EQ(runtime.discoverSystemCursorEntries(0).size(), 0u);
    runtime.postSyntheticMouseMovedEvents(0);
    EXPECT_EQ(log.lines(), (Lines{"[ERROR] Failed to resolve mainConnectionID",
                                  "[ERROR] Failed to resolve mainConnectionID",
                                  "[WARN] discoverSystemCursorEntries unavailable: cursorNameForSystemCursorFn is nil"}));
    log.clear();

    EXPECT_EQ(runtime.snapshotCursor(7, "com.apple.cursor.13"), std::nullopt);
    EXPECT_FALSE(runtime.registerCursor(7, arrow, CursorSnapshot{}, {}, true, true));
    EXPECT_FALSE(runtime.registerCursor(7, arrow, CursorSnapshot{}, {pixel()}, true, true));
    EXPECT_FALSE(runtime.setRegisteredCursorNow(7, arrow));
    EXPECT_FALSE(runtime.createRegisteredCursorImage(7, arrow));
    EXPECT_FALSE(runtime.setSystemDefinedCursor(7, 1));
    EXPECT_EQ(runtime.setSystemDefinedCursorWithSeed(7, 1), std::nullopt);
    EXPECT_FALSE(runtime.setCoreCursor(7, 1));
    EXPECT_EQ(runtime.setCoreCursorWithSeed(7, 1), std::nullopt);
    runtime.refreshCursorDisplay(7);
    EXPECT_FALSE(runtime.setCursorScale(7, 2.0f));
    runtime.nudgeCursorScale(7);
    EXPECT_FALSE(runtime.hardResetSystemCursors(7, 101));
    EXPECT_TRUE(runtime.discoverSystemCursorNames("arrow", 128).empty());
    EXPECT_TRUE(runtime.discoverSystemCursorEntries(512).empty());
    EXPECT_EQ(runtime.currentCursorFingerprint(7), std::nullopt);
    runtime.postSyntheticMouseMovedEvents(2);

    EXPECT_EQ(log.lines(),
              (Lines{
                  "[ERROR] snapshotCursor unavailable: copyRegisteredCursorImagesFn is nil",
                  "[WARN] snapshotCursor failed for com.apple.cursor.13: no registered/core snapshot available",
                  "[WARN] registerCursor skipped for com.apple.coregraphics.Arrow: no images",
                  "[WARN] registerCursor multi-frame path unavailable: registerCursorWithImagesFn is nil",
                  "[ERROR] registerCursor failed for com.apple.coregraphics.Arrow: multiError=nil frames=1 images=1 "
                  "multiSeed=0 singleSuccess=false",
                  "[ERROR] setRegisteredCursorNow unavailable: setRegisteredCursorFn is nil",
                  "[ERROR] createRegisteredCursorImage unavailable: createRegisteredCursorImageFn is nil",
                  "[WARN] setSystemDefinedCursor unavailable",
                  "[WARN] setSystemDefinedCursorWithSeed unavailable",
                  "[WARN] setCoreCursor unavailable",
                  "[WARN] setCoreCursorWithSeed unavailable",
                  "[DEBUG] refreshCursorDisplay unavailable: hide/show symbols missing",
                  "[DEBUG] setCursorScale unavailable: set scale symbol missing",
                  "[DEBUG] nudgeCursorScale unavailable: get/set scale symbols missing",
                  "[WARN] hardResetSystemCursors unavailable: core cursor reset symbols missing",
                  "[WARN] discoverSystemCursorNames unavailable: cursorNameForSystemCursorFn is nil",
                  "[WARN] discoverSystemCursorEntries unavailable: cursorNameForSystemCursorFn is nil",
                  "[DEBUG] currentCursorFingerprint unavailable: global cursor data symbols missing",
                  "[DEBUG] postSyntheticMouseMovedEvents unavailable: mouse location/event post symbols missing",
              }));
}

TEST(CGSRuntimeUnresolvedTest, Fnv1a64MatchesThePublishedVectors)
{
    auto hash = [](std::string_view text) {
        return CGSRuntime::fnv1a64(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    };
    EXPECT_EQ(hash(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(hash("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(hash("foobar"), 0x85944171f73967e8ull);
    std::vector<std::uint8_t> zeros(60);
    EXPECT_NE(CGSRuntime::fnv1a64(zeros), CGSRuntime::fnv1a64(std::span(zeros).first(59)))
        << "every byte counts, zeros included";
}
