#include "runtime/CGSRuntime.h"

#include "base/LogFormat.h"

#include "LogCapture.h"
#include "providers/sim/SimWindowServer.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <algorithm>
#include <cstring>
#include <regex>

namespace {

using Lines = std::vector<std::string>;
using Images = std::vector<CFRef<CGImageRef>>;

const CGSConnectionID connection = SimWindowServerInitialConnectionID;
const std::string arrow = "com.apple.coregraphics.Arrow";

CFRef<CGImageRef> image(size_t width, size_t height, uint8_t shade)
{
    std::vector<uint32_t> pixels(width * height);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | uint32_t(shade) << 16 | uint32_t(i & 0xFF);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

Images images(size_t count)
{
    Images out;
    for (size_t i = 0; i < count; ++i)
        out.push_back(image(2, 2, uint8_t(i)));
    return out;
}

CursorSnapshot snapshotOf(std::uint64_t frameCount)
{
    CursorSnapshot snapshot;
    snapshot.size = {24, 24};
    snapshot.hotSpot = {1, 2};
    snapshot.frameCount = frameCount;
    snapshot.frameDuration = 0.25;
    return snapshot;
}

std::string hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string currentName()
{
    char name[256];
    SimWindowServerCurrentCursorName(name, sizeof name);
    return name;
}

// The cursor on screen as native premultiplied words, the bytes a
// fingerprint covers.
std::vector<std::uint8_t> screenBytes()
{
    SimCursorContents current{};
    EXPECT_TRUE(SimWindowServerCopyCurrentCursor(&current));
    CGImageRef first = static_cast<CGImageRef>(CFArrayGetValueAtIndex(current.images, 0));
    std::vector<std::uint32_t> words(CGImageGetWidth(first) * CGImageGetHeight(first));
    CGImageCopyARGB32Premultiplied(first, words.data(), words.size());
    CFRelease(current.images);
    std::vector<std::uint8_t> bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

class CGSRuntimeSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimWindowServerReset();
        log.clear();
    }
    void TearDown() override { SimWindowServerReset(); }
    // Forgets the calls and lines so far.
    void clear()
    {
        SimWindowServerClearCallLog();
        log.clear();
    }

    LogCapture log;
    CGSRuntime runtime{std::vector<void*>{dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
};

}

TEST_F(CGSRuntimeSimTest, ConnectionAndSeedAreAskedForOnEveryCall)
{
    EXPECT_EQ(runtime.mainConnectionID(), connection);
    SimWindowServerSetMainConnectionID(0);
    EXPECT_EQ(runtime.mainConnectionID(), 0) << "whatever the value, 0 included";
    EXPECT_EQ(runtime.currentCursorSeed(), SimWindowServerInitialSeed);
    SimWindowServerSetMainConnectionID(connection);
    ASSERT_TRUE(runtime.setCoreCursor(connection, 1));
    EXPECT_EQ(runtime.currentCursorSeed(), SimWindowServerCurrentSeed());
    EXPECT_NE(runtime.currentCursorSeed(), SimWindowServerInitialSeed);
    EXPECT_EQ(SimWindowServerCallCount("MainConnectionID"), 2u);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] mainConnectionID=" + std::to_string(connection), "[DEBUG] mainConnectionID=0",
                                  "[INFO] setCoreCursor id=1 error=0"}));
}

TEST_F(CGSRuntimeSimTest, NumberedNamesAreReadThroughTheirNumberFirst)
{
    struct Case {
        std::string identifier;
        Lines calls;
    };
    const std::string copy = "CGSCopyRegisteredCursorImages name=";
    const Case cases[] = {
        {"com.apple.cursor.13", {"CoreCursorCopyImages cursor=13"}},
        {"com.apple.cursor.+13", {"CoreCursorCopyImages cursor=13"}},
        {"com.apple.cursor.13.", {"CoreCursorCopyImages cursor=13"}},
        {"com.apple.cursor.x.4", {"CoreCursorCopyImages cursor=4"}},
        {"com.apple.cursor.-2", {"CoreCursorCopyImages cursor=-2", copy + "com.apple.cursor.-2"}},
        {"com.apple.cursor.2147483647",
         {"CoreCursorCopyImages cursor=2147483647", copy + "com.apple.cursor.2147483647"}},
        {"com.apple.cursor.-2147483648",
         {"CoreCursorCopyImages cursor=-2147483648", copy + "com.apple.cursor.-2147483648"}},
        {"com.apple.cursor.2147483648", {copy + "com.apple.cursor.2147483648"}},
        {"com.apple.cursor.", {copy + "com.apple.cursor."}},
        {"com.apple.cursor.x", {copy + "com.apple.cursor.x"}},
        {"com.apple.cursor.1a", {copy + "com.apple.cursor.1a"}},
        {"com.apple.cursor.+-1", {copy + "com.apple.cursor.+-1"}},
        {"com.apple.cursor.+", {copy + "com.apple.cursor.+"}},
        {"com.apple.cursor.13 ", {copy + "com.apple.cursor.13 "}},
        {"com.apple.cursors.13", {copy + "com.apple.cursors.13"}},
        {arrow, {copy + arrow}},
    };
    for (const Case& c : cases) {
        clear();
        runtime.snapshotCursor(connection, c.identifier);
        EXPECT_EQ(SimWindowServerCallLog(), c.calls) << c.identifier;
    }

    clear();
    auto viaNumber = runtime.snapshotCursor(connection, "com.apple.cursor.13");
    ASSERT_TRUE(viaNumber.has_value());
    SimCursorContents hand{};
    ASSERT_TRUE(SimWindowServerCopyCursor("com.apple.coregraphics.PointingHand", &hand));
    EXPECT_EQ(viaNumber->size.width, hand.size.width);
    EXPECT_EQ(viaNumber->hotSpot.x, hand.hotSpot.x);
    EXPECT_EQ(viaNumber->frameCount, hand.frameCount);
    EXPECT_EQ(viaNumber->frameDuration, hand.frameDuration);
    ASSERT_EQ(CFIndex(viaNumber->images.size()), CFArrayGetCount(hand.images));
    CFRelease(hand.images);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] snapshotCoreCursor ok for id=13: size=24.0x24.0 frames=1 images=2",
                                  "[DEBUG] snapshotCursor via CoreCursorCopyImages for com.apple.cursor.13"}));

    // When the number gives nothing, the name still may.
    clear();
    SimWindowServerSetFailureFor("CoreCursorCopyImages", "13", 1000);
    EXPECT_TRUE(runtime.snapshotCursor(connection, "com.apple.cursor.13").has_value());
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] snapshotCoreCursor failed for id=13: error=1000",
                                  "[DEBUG] snapshotCursor ok for com.apple.cursor.13: size=24.0x24.0 frames=1 images=2"}));

    clear();
    EXPECT_EQ(runtime.snapshotCursor(connection, "com.example.Nothing"), std::nullopt);
    EXPECT_EQ(log.lines(),
              (Lines{"[DEBUG] snapshotCursor registered copy miss for com.example.Nothing: error=1001",
                     "[WARN] snapshotCursor failed for com.example.Nothing: no registered/core snapshot available"}));
}

TEST_F(CGSRuntimeSimTest, RegistrationDeclaresBetweenOneAndTwentyFourFramesAndPassesEveryImage)
{
    struct Case {
        std::uint64_t frameCount;
        size_t imageCount;
        std::uint64_t declared;
    };
    for (Case c : {Case{0, 3, 3}, Case{10, 3, 3}, Case{30, 30, 24}, Case{2, 3, 2}, Case{0, 1, 1}, Case{25, 40, 24}}) {
        clear();
        const std::string name = "com.example.Frames";
        ASSERT_TRUE(runtime.registerCursor(connection, name, snapshotOf(c.frameCount), images(c.imageCount), true,
                                           false));
        const std::string frames = std::to_string(c.declared), count = std::to_string(c.imageCount);
        EXPECT_EQ(SimWindowServerCallLog(),
                  (Lines{"CGSRegisterCursorWithImages name=" + name +
                             " setGlobally=true instantly=false size=24.0x24.0 hotSpot=(1.0,2.0) frames=" + frames +
                             " frameDuration=0.25 images=" + count,
                         "CGSRegisterCursorWithImage name=" + name +
                             " setGlobally=true instantly=false reserved=0 image=2x2 size=24.0x24.0 hotSpot=(1.0,2.0) "
                             "scale=(1.0,1.0)"}))
            << c.frameCount << " frames, " << c.imageCount << " images";
        Lines lines = log.lines();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\[DEBUG\] registerCursorSingleImage ok for )" + name +
                                                          R"( seed=[1-9][0-9]*)")))
            << lines[0];
        EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\[DEBUG\] registerCursor ok for )" + name +
                                                          ": frames=" + frames + " images=" + count +
                                                          R"( multiError=0 multiSeed=[1-9][0-9]* singleSuccess=true)")))
            << lines[1];
    }
}

TEST_F(CGSRuntimeSimTest, RegistrationSucceedsWhenEitherPathDoes)
{
    const std::string name = "com.example.Either";
    SimWindowServerSetFailure("RegisterCursorWithImages", 1000);
    EXPECT_TRUE(runtime.registerCursor(connection, name, snapshotOf(1), images(1), true, true));
    EXPECT_TRUE(SimWindowServerIsRegistered(name.c_str()));
    EXPECT_TRUE(std::regex_match(log.lines().back(),
                                 std::regex("\\[DEBUG\\] registerCursor ok for " + name +
                                            ": frames=1 images=1 multiError=1000 multiSeed=0 singleSuccess=true")));

    clear();
    SimWindowServerClearFailures();
    SimWindowServerSetFailure("RegisterCursorWithImage", 1007);
    EXPECT_TRUE(runtime.registerCursor(connection, name, snapshotOf(1), images(1), true, true));
    Lines lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[DEBUG] registerCursorSingleImage failed for " + name + ": error=1007 seed=0");
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("\\[DEBUG\\] registerCursor ok for " + name +
                                                      ": frames=1 images=1 multiError=0 multiSeed=[1-9][0-9]* "
                                                      "singleSuccess=false")));

    clear();
    SimWindowServerSetFailure("RegisterCursorWithImages", 1000);
    EXPECT_FALSE(runtime.registerCursor(connection, name, snapshotOf(3), images(3), true, true));
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] registerCursorSingleImage failed for " + name + ": error=1007 seed=0",
                                  "[ERROR] registerCursor failed for " + name +
                                      ": multiError=1000 frames=3 images=3 multiSeed=0 singleSuccess=false"}));

    // A name with no C form never reaches the window server.
    clear();
    SimWindowServerClearFailures();
    const std::string broken("com.example\0Arrow", 17);
    EXPECT_FALSE(runtime.registerCursor(connection, broken, snapshotOf(1), images(1), true, true));
    EXPECT_EQ(SimWindowServerCallLogCount(), 0u);
    EXPECT_EQ(log.lines().back(), "[ERROR] registerCursor failed for " + broken +
                                      ": multiError=-1 frames=1 images=1 multiSeed=0 singleSuccess=false");
}

TEST_F(CGSRuntimeSimTest, ARegisteredNameBecomesCurrentAndGivesItsImageBack)
{
    Images mine = {image(4, 4, 9)};
    ASSERT_TRUE(runtime.registerCursor(connection, arrow, snapshotOf(1), mine, true, true));
    clear();
    ASSERT_TRUE(runtime.setRegisteredCursorNow(connection, arrow));
    EXPECT_EQ(currentName(), arrow);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] setRegisteredCursorNow ok for " + arrow +
                                  " seed=" + std::to_string(SimWindowServerCurrentSeed())}));
    EXPECT_EQ(runtime.createRegisteredCursorImage(connection, arrow), mine.front());

    clear();
    EXPECT_FALSE(runtime.setRegisteredCursorNow(connection, "com.example.Nothing"));
    EXPECT_FALSE(runtime.createRegisteredCursorImage(connection, "com.example.Nothing"));
    EXPECT_FALSE(runtime.setRegisteredCursorNow(connection, std::string("com\0x", 5)));
    EXPECT_EQ(SimWindowServerCallLogCount(), 2u) << "the broken name was not passed on";
    EXPECT_EQ(log.lines(), (Lines{"[ERROR] setRegisteredCursorNow failed for com.example.Nothing: error=1001 seed=0",
                                  "[WARN] createRegisteredCursorImage returned nil for com.example.Nothing",
                                  "[ERROR] setRegisteredCursorNow failed for " + std::string("com\0x", 5) +
                                      ": error=-1 seed=0"}));
}

TEST_F(CGSRuntimeSimTest, NumberedActivationsReportStatusAndSeed)
{
    EXPECT_TRUE(runtime.setSystemDefinedCursor(connection, 13));
    EXPECT_EQ(currentName(), "com.apple.cursor.13");
    auto systemSeed = runtime.setSystemDefinedCursorWithSeed(connection, 4);
    EXPECT_EQ(systemSeed, SimWindowServerCurrentSeed());
    EXPECT_TRUE(runtime.setCoreCursor(connection, 1));
    auto coreSeed = runtime.setCoreCursorWithSeed(connection, 2);
    EXPECT_EQ(coreSeed, SimWindowServerCurrentSeed());
    EXPECT_EQ(currentName(), "com.apple.cursor.2");
    EXPECT_EQ(log.lines(), (Lines{"[INFO] setSystemDefinedCursor id=13 error=0",
                                  "[INFO] setSystemDefinedCursorWithSeed id=4 seed=" + std::to_string(*systemSeed),
                                  "[INFO] setCoreCursor id=1 error=0",
                                  "[INFO] setCoreCursorWithSeed id=2 error=0 seed=" + std::to_string(*coreSeed)}));

    clear();
    for (const char* function : {"SetSystemDefinedCursor", "SetSystemDefinedCursorWithSeed", "CoreCursorSet",
                                 "CoreCursorSetAndReturnSeed"})
        SimWindowServerSetFailure(function, 1000);
    EXPECT_FALSE(runtime.setSystemDefinedCursor(connection, 13));
    EXPECT_EQ(runtime.setSystemDefinedCursorWithSeed(connection, 4), 0) << "no status: the seed as it stands";
    EXPECT_FALSE(runtime.setCoreCursor(connection, 1));
    EXPECT_EQ(runtime.setCoreCursorWithSeed(connection, 2), std::nullopt);
    EXPECT_EQ(log.lines(), (Lines{"[INFO] setSystemDefinedCursor id=13 error=1000",
                                  "[INFO] setSystemDefinedCursorWithSeed id=4 seed=0",
                                  "[INFO] setCoreCursor id=1 error=1000",
                                  "[INFO] setCoreCursorWithSeed id=2 error=1000 seed=0"}));
}

TEST_F(CGSRuntimeSimTest, RefreshHidesThenShows)
{
    runtime.refreshCursorDisplay(connection);
    EXPECT_EQ(SimWindowServerCallLog(), (Lines{"CGSHideCursor", "CGSShowCursor"}));
    EXPECT_EQ(SimWindowServerHideCount(), 0);
    SimWindowServerSetFailure("ShowCursor", 1000);
    runtime.refreshCursorDisplay(connection);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] refreshCursorDisplay hideError=0 showError=0",
                                  "[DEBUG] refreshCursorDisplay hideError=0 showError=1000"}));
}

TEST_F(CGSRuntimeSimTest, ScaleRequestsAreClampedAndNudgesGoBackWhereTheyStarted)
{
    EXPECT_EQ(runtime.cursorScale(connection), 1.0f);
    EXPECT_TRUE(runtime.setCursorScale(connection, 20.0f));
    EXPECT_EQ(SimWindowServerCursorScale(), 16.0f);
    EXPECT_TRUE(runtime.setCursorScale(connection, 0.1f));
    EXPECT_EQ(SimWindowServerCursorScale(), 0.5f);
    EXPECT_TRUE(runtime.setCursorScale(connection, 2.5f));
    EXPECT_EQ(runtime.cursorScale(connection), 2.5f);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] setCursorScale requested=20.0 clamped=16.0 error=0",
                                  "[DEBUG] setCursorScale requested=0.1 clamped=0.5 error=0",
                                  "[DEBUG] setCursorScale requested=2.5 clamped=2.5 error=0"}));

    struct Nudge {
        float start;
        std::string temporary;
    };
    for (Nudge n : {Nudge{1.0f, "1.3"}, Nudge{16.0f, "15.7"}, Nudge{0.5f, "0.8"}, Nudge{15.9f, "16.0"}}) {
        runtime.setCursorScale(connection, n.start);
        clear();
        runtime.nudgeCursorScale(connection);
        const std::string start = LogFormat::number(n.start);
        EXPECT_EQ(SimWindowServerCallLog(), (Lines{"CGSGetCursorScale", "CGSSetCursorScale scale=" + n.temporary,
                                                   "CGSSetCursorScale scale=" + start}));
        EXPECT_EQ(log.lines(), (Lines{"[DEBUG] nudgeCursorScale current=" + start + " temp=" + n.temporary +
                                      " setTempError=0 setBackError=0"}));
        EXPECT_EQ(SimWindowServerCursorScale(), n.start);
    }

    clear();
    SimWindowServerSetFailure("GetCursorScale", 1000);
    SimWindowServerSetFailure("SetCursorScale", 1001);
    EXPECT_EQ(runtime.cursorScale(connection), std::nullopt);
    runtime.nudgeCursorScale(connection);
    EXPECT_FALSE(runtime.setCursorScale(connection, 2.0f));
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] cursorScale get failed: error=1000",
                                  "[DEBUG] nudgeCursorScale get failed: error=1000",
                                  "[DEBUG] setCursorScale requested=2.0 clamped=2.0 error=1001"}));
    EXPECT_EQ(SimWindowServerCallCount("SetCursorScale"), 1u) << "a failed read sets nothing";
}

TEST_F(CGSRuntimeSimTest, HardResetSetsCursorsZeroToTheCapAndAnchorsTheCurrentOne)
{
    ASSERT_TRUE(runtime.registerCursor(connection, arrow, snapshotOf(1), images(1), true, true));
    clear();
    EXPECT_TRUE(runtime.hardResetSystemCursors(connection, -5));
    EXPECT_EQ(SimWindowServerCallLog(),
              (Lines{"CGSSetDockCursorOverride enabled=true", "CoreCursorUnregisterAll", "CoreCursorSet cursor=0",
                     "CGSSetRegisteredCursor name=com.apple.coregraphics.GlobalCurrent", "CGSHideCursor",
                     "CGSShowCursor", "CGSGetCursorScale", "CGSSetCursorScale scale=1.3", "CGSSetCursorScale scale=1.0",
                     "CGSSetDockCursorOverride enabled=false"}));
    EXPECT_EQ(SimWindowServerRegisteredCount(), 0u);
    EXPECT_FALSE(SimWindowServerDockCursorOverride());
    EXPECT_EQ(currentName(), "com.apple.coregraphics.GlobalCurrent");
    EXPECT_TRUE(log.has("[INFO] hardResetSystemCursors completed. unregisterResult=0 setSuccesses=1 setFailures=0 "
                        "effectiveMaxCoreID=0 anchored=true ok=true"));
    Lines lines = log.lines();
    EXPECT_EQ(lines.front(), "[DEBUG] setDockCursorOverride enabled=true");
    EXPECT_EQ(lines.back(), "[DEBUG] setDockCursorOverride enabled=false");

    // The numbers the simulated server knows succeed, the others fail.
    int known = 0;
    for (CGSCursorID id = 0; id <= 44; ++id)
        known += CGSCursorNameForSystemCursor(id) != nullptr;
    clear();
    EXPECT_TRUE(runtime.hardResetSystemCursors(connection, 101));
    EXPECT_EQ(SimWindowServerCallCount("CoreCursorSet"), 45u);
    Lines calls = SimWindowServerCallLog();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CoreCursorSet cursor=44"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CoreCursorSet cursor=45"), 0);
    EXPECT_TRUE(log.has("[INFO] hardResetSystemCursors completed. unregisterResult=0 setSuccesses=" +
                        std::to_string(known) + " setFailures=" + std::to_string(45 - known) +
                        " effectiveMaxCoreID=44 anchored=true ok=true"));
}

TEST_F(CGSRuntimeSimTest, HardResetAnchorsToTheFirstNameThatWorksAndNeedsANumberedSuccess)
{
    SimWindowServerSetFailureFor("SetRegisteredCursor", "com.apple.coregraphics.GlobalCurrent", 1000);
    EXPECT_TRUE(runtime.hardResetSystemCursors(connection, 3));
    EXPECT_EQ(currentName(), "com.apple.coregraphics.ConnectionCurrent");

    SimWindowServerSetFailureFor("SetRegisteredCursor", "com.apple.coregraphics.ConnectionCurrent", 1000);
    SimWindowServerSetFailureFor("SetRegisteredCursor", arrow.c_str(), 1000);
    clear();
    EXPECT_TRUE(runtime.hardResetSystemCursors(connection, 3)) << "anchoring is reported, not required";
    EXPECT_EQ(SimWindowServerCallCount("SetRegisteredCursor"), 3u);
    EXPECT_TRUE(log.has("[INFO] hardResetSystemCursors completed. unregisterResult=0 setSuccesses=4 setFailures=0 "
                        "effectiveMaxCoreID=3 anchored=false ok=true"));

    clear();
    SimWindowServerSetFailure("CoreCursorSet", 1000);
    EXPECT_FALSE(runtime.hardResetSystemCursors(connection, 3));
    EXPECT_TRUE(log.has("[INFO] hardResetSystemCursors completed. unregisterResult=0 setSuccesses=0 setFailures=4 "
                        "effectiveMaxCoreID=3 anchored=false ok=false"));

    clear();
    SimWindowServerClearFailures();
    SimWindowServerSetFailure("CoreCursorUnregisterAll", 1001);
    EXPECT_FALSE(runtime.hardResetSystemCursors(connection, 0));
    EXPECT_TRUE(log.has("[INFO] hardResetSystemCursors completed. unregisterResult=1001 setSuccesses=1 setFailures=0 "
                        "effectiveMaxCoreID=0 anchored=true ok=false"));
    EXPECT_FALSE(SimWindowServerDockCursorOverride());
}

TEST_F(CGSRuntimeSimTest, DiscoveryFindsTheServersNamesInAnyCase)
{
    EXPECT_EQ(runtime.discoverSystemCursorNames("aRRoW", 128),
              (Lines{arrow, "com.apple.coregraphics.ArrowCtx", "com.apple.coregraphics.ArrowS"}));
    EXPECT_EQ(SimWindowServerCallCount("CursorNameForSystemCursor"), 128u);
    auto entries = runtime.discoverSystemCursorEntries(512);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front(), (CGSRuntime::SystemCursorEntry{0, arrow}));
    auto hand = std::find_if(entries.begin(), entries.end(), [](const auto& entry) { return entry.id == 13; });
    ASSERT_NE(hand, entries.end());
    EXPECT_EQ(hand->name, "com.apple.coregraphics.PointingHand");
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(),
                               [](const auto& a, const auto& b) { return a.id < b.id; }));
    EXPECT_TRUE(log.has("[INFO] discoverSystemCursorEntries found=" + std::to_string(entries.size()) +
                        " scanned=512"));
    clear();
    EXPECT_TRUE(runtime.discoverSystemCursorEntries(0).empty());
    EXPECT_EQ(SimWindowServerCallLogCount(), 0u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(CGSRuntimeSimTest, FingerprintHashesTheBytesOnScreenAsFarAsTheyWereWritten)
{
    auto first = runtime.currentCursorFingerprint(connection);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, hex(CGSRuntime::fnv1a64(screenBytes())));
    EXPECT_EQ(runtime.currentCursorFingerprint(connection), first) << "same cursor, same fingerprint";
    runtime.setCoreCursor(connection, 1);
    EXPECT_NE(runtime.currentCursorFingerprint(connection), first);

    // A 5 x 3 cursor is 60 bytes; the server claims 100.
    CursorSnapshot small = snapshotOf(1);
    small.size = {5, 3};
    small.hotSpot = {1, 1};
    ASSERT_TRUE(runtime.registerCursor(connection, "com.example.Sixty", small, {image(5, 3, 7)}, true, true));
    ASSERT_TRUE(runtime.setRegisteredCursorNow(connection, "com.example.Sixty"));
    SimWindowServerSetGlobalDataOverReport(40);
    clear();
    auto sixty = runtime.currentCursorFingerprint(connection);
    std::vector<std::uint8_t> written = screenBytes();
    ASSERT_EQ(written.size(), 60u);
    ASSERT_TRUE(sixty.has_value());
    EXPECT_EQ(*sixty, hex(CGSRuntime::fnv1a64(written)));
    EXPECT_EQ(SimWindowServerCallLog(), (Lines{"CGSGetGlobalCursorDataSize", "CGSGetGlobalCursorData capacity=100"}));
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] currentCursorFingerprint ok size=60 hash=" + *sixty +
                                  " px=5.0x3.0 hotSpot=(1.0,1.0) depth=32 components=4 bpc=8"}));

    clear();
    SimWindowServerSetFailure("GetGlobalCursorData", 1000);
    EXPECT_EQ(runtime.currentCursorFingerprint(connection), std::nullopt);
    SimWindowServerSetFailure("GetGlobalCursorDataSize", 1001);
    EXPECT_EQ(runtime.currentCursorFingerprint(connection), std::nullopt);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] currentCursorFingerprint data failed: error=1000 dataSize=100",
                                  "[DEBUG] currentCursorFingerprint size failed: error=1001 byteCount=0"}));
}

// A cursor larger than any real one is refused before anything is allocated
// for it, with the failure line of the operation.
TEST_F(CGSRuntimeSimTest, SizesBeyondAnyRealCursorAreRefused)
{
    SimWindowServerSetGlobalDataOverReport(INT32_MAX - 24 * 24 * 4);
    EXPECT_EQ(runtime.currentCursorFingerprint(connection), std::nullopt);
    EXPECT_EQ(SimWindowServerCallLog(), (Lines{"CGSGetGlobalCursorDataSize"}));
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] currentCursorFingerprint size failed: error=0 byteCount=2147483647"}));

    CursorSnapshot wide = snapshotOf(1);
    wide.size = {1025, 24};
    ASSERT_TRUE(runtime.registerCursor(connection, "com.example.Wide", wide, images(1), true, true));
    ASSERT_TRUE(runtime.registerCursor(connection, "com.example.Tall", snapshotOf(1), {image(2, 1025, 0)}, true, true));
    SimWindowServerSetFailure("RegisterCursorWithImage", 1000); // keeps every frame of the multi-frame call
    ASSERT_TRUE(runtime.registerCursor(connection, "com.example.Reel", snapshotOf(65), images(65), true, true));
    SimWindowServerClearFailures();
    ASSERT_TRUE(runtime.registerCursor(connection, "com.apple.cursor.13", wide, images(1), true, true));
    for (std::string name : {"com.example.Wide", "com.example.Tall", "com.example.Reel"}) {
        clear();
        EXPECT_EQ(runtime.snapshotCursor(connection, name), std::nullopt);
        EXPECT_EQ(log.lines(), (Lines{"[DEBUG] snapshotCursor registered copy miss for " + name + ": error=0",
                                      "[WARN] snapshotCursor failed for " + name +
                                          ": no registered/core snapshot available"}));
    }
    clear();
    EXPECT_EQ(runtime.snapshotCoreCursor(connection, 13), std::nullopt);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] snapshotCoreCursor failed for id=13: error=0"}));

    // The limits themselves are still believed.
    clear();
    CursorSnapshot largest = snapshotOf(64);
    largest.size = {1024, 1024};
    ASSERT_TRUE(runtime.registerCursor(connection, "com.example.Largest", largest, images(64), true, true));
    EXPECT_TRUE(runtime.snapshotCursor(connection, "com.example.Largest").has_value());
}

TEST_F(CGSRuntimeSimTest, SyntheticMovesArePostedWhereThePointerIs)
{
    SimWindowServerSetMouseLocation(CGPoint{400, 300});
    SimWindowServerSetPrimaryScreenHeight(true, 1080);
    runtime.postSyntheticMouseMovedEvents(3);
    ASSERT_EQ(SimWindowServerPostedEventCount(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SimPostedEvent event{};
        ASSERT_TRUE(SimWindowServerPostedEvent(i, &event));
        EXPECT_EQ(event.tap, kCGHIDEventTap);
        EXPECT_EQ(event.type, kCGEventMouseMoved);
        EXPECT_EQ(event.button, kCGMouseButtonLeft);
        EXPECT_EQ(event.location.x, 400.0);
        EXPECT_EQ(event.location.y, 780.0);
    }
    SimWindowServerSetPrimaryScreenHeight(false, 0);
    runtime.postSyntheticMouseMovedEvents(1);
    runtime.postSyntheticMouseMovedEvents(0);
    EXPECT_EQ(SimWindowServerPostedEventCount(), 4u);
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] postSyntheticMouseMovedEvents posted count=3 appKit=(400.0,300.0) "
                                  "cg=(400.0,780.0)",
                                  "[DEBUG] postSyntheticMouseMovedEvents posted count=1 appKit=(400.0,300.0) "
                                  "cg=(400.0,0.0)"}));
}
