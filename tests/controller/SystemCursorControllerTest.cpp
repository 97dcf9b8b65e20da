#include "controller/SystemCursorController.h"

#include "capes/CursorCapeStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "platform/stockcursors/StockCursor.h"
#include "providers/sim/SimWindowServer.h"
#include "runtime/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <regex>

namespace {

using Lines = std::vector<std::string>;
using Names = std::vector<std::string>;

const char* const switchVariables[] = {"ORVELLE_ENABLE_LEGACY_ID_ACTIVATION", "ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION",
                                       "ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION"};

const Names builtInArrows{"com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
                          "com.apple.cursor.0",                   "com.apple.cursor.6",
                          "com.apple.cursor.100",                 "com.apple.coregraphics.Arrow",
                          "com.apple.coregraphics.ArrowCtx",      "com.apple.coregraphics.ArrowS"};
const Names builtInIBeams{"com.apple.cursor.1", "com.apple.cursor.101", "com.apple.coregraphics.IBeam",
                          "com.apple.coregraphics.IBeamXOR", "com.apple.coregraphics.IBeamS"};
const std::string failingStatus = std::to_string(SimWindowServerErrorFailure);

CGSRuntime& simRuntime()
{
    static CGSRuntime runtime{std::vector<void*>{dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL)}};
    return runtime;
}

CGSRuntime& unresolvedRuntime()
{
    static CGSRuntime runtime{std::vector<void*>{}};
    return runtime;
}

// What the simulated window server holds for a name, images released.
struct Shown {
    CGSize size{};
    CGPoint hotSpot{};
    std::vector<std::vector<std::uint8_t>> images;
    bool registered = false;
};

std::vector<std::uint8_t> bytesOf(CGImageRef image)
{
    const std::uint8_t* bytes = CGImageGetBytePointer(image);
    return {bytes, bytes + CGImageGetBytesLength(image)};
}

std::optional<Shown> shown(const std::string& name)
{
    SimCursorContents contents{};
    if (!SimWindowServerCopyCursor(name.c_str(), &contents))
        return std::nullopt;
    Shown result{contents.size, contents.hotSpot, {}, contents.registered};
    for (CFIndex i = 0; i < CFArrayGetCount(contents.images); ++i)
        result.images.push_back(bytesOf(static_cast<CGImageRef>(CFArrayGetValueAtIndex(contents.images, i))));
    CFRelease(contents.images);
    return result;
}

std::vector<std::vector<std::uint8_t>> imageBytes(const CursorSnapshot& snapshot)
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const auto& image : snapshot.images)
        result.push_back(bytesOf(image.get()));
    return result;
}

CursorSnapshot shape(double width, double height, double hotX, double hotY)
{
    return CursorSnapshot{{width, height}, {hotX, hotY}, 1, 0, {}};
}

CFRef<CGImageRef> solidImage(std::size_t width, std::size_t height)
{
    std::vector<std::uint32_t> pixels(width * height, 0xFF202020);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

std::size_t countStartingWith(const Lines& lines, const std::string& prefix)
{
    return std::size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

class SystemCursorControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* variable : switchVariables)
            unsetenv(variable);
        SimWindowServerReset();
        RunLoop::setMain(&loop);
        log.clear();
    }
    void TearDown() override
    {
        RunLoop::setMain(nullptr);
        for (const char* variable : switchVariables)
            unsetenv(variable);
        SimWindowServerReset();
    }

    std::shared_ptr<SystemCursorController> makeController(CGSRuntime& runtime = simRuntime())
    {
        return std::make_shared<SystemCursorController>(runtime, capeStore, ActivationSwitches::fromEnvironment());
    }
    static void fail(const char* function) { SimWindowServerSetFailure(function, SimWindowServerErrorFailure); }
    // The calls made since the last clear, without the arguments that do not
    // matter here.
    static Lines calls()
    {
        Lines entries = SimWindowServerCallLog();
        SimWindowServerClearCallLog();
        return entries;
    }
    static CGSConnectionID connection() { return SimWindowServerInitialConnectionID; }

    ManualRunLoop loop;
    LogCapture log;
    // In the temporary home that the log capture sets up.
    CursorCapeStore capeStore;
};

}

TEST_F(SystemCursorControllerTest, WithoutAnyDiscoveryTheTablesHoldOnlyTheBuiltInNames)
{
    fail("CursorNameForSystemCursor");
    auto controller = makeController();

    EXPECT_EQ(controller->roleIdentifiers().at(CursorRole::arrow), builtInArrows);
    EXPECT_EQ(controller->roleIdentifiers().at(CursorRole::iBeam), builtInIBeams);
    EXPECT_EQ(controller->roleIdentifiers().at(CursorRole::pointingHand), Names{"com.apple.cursor.13"});

    Names expectedAll = builtInArrows;
    expectedAll.insert(expectedAll.end(), builtInIBeams.begin(), builtInIBeams.end());
    expectedAll.push_back("com.apple.cursor.13");
    for (int id = 0; id <= 44; ++id) {
        std::string name = "com.apple.cursor." + std::to_string(id);
        if (id != 0 && id != 1 && id != 6 && id != 13)
            expectedAll.push_back(name);
    }
    EXPECT_EQ(controller->allIdentifiers().size(), 55u);
    EXPECT_EQ(controller->allIdentifiers(), expectedAll);
    EXPECT_EQ(controller->forcedActivationCursorIDs(), (std::vector<std::int32_t>{0, 1, 6, 13, 100, 101}));
    EXPECT_EQ(controller->systemCursorIDByName(),
              (std::map<std::string, std::int32_t>{{"com.apple.coregraphics.arrow", 0},
                                                   {"com.apple.coregraphics.globalcurrent", 0},
                                                   {"com.apple.coregraphics.connectioncurrent", 0},
                                                   {"com.apple.coregraphics.arrowctx", 6},
                                                   {"com.apple.coregraphics.arrows", 100}}));
    EXPECT_TRUE(log.has("[INFO] Identifiers for pointingHand: com.apple.cursor.13"));
    EXPECT_TRUE(log.has("[INFO] Identifiers for iBeam: com.apple.cursor.1, com.apple.cursor.101, "
                        "com.apple.coregraphics.IBeam, com.apple.coregraphics.IBeamXOR, com.apple.coregraphics.IBeamS"));
    EXPECT_TRUE(log.has("[INFO] Forced activation cursor IDs: 0, 1, 6, 13, 100, 101"));
    EXPECT_TRUE(log.has("[INFO] Total discovered cursor identifiers: 55"));
}

TEST_F(SystemCursorControllerTest, DiscoveredNamesEqualToBuiltInOnesAreListedOnceAtTheBuiltInPosition)
{
    auto controller = makeController();

    // The simulated server names its arrows Arrow, ArrowCtx and ArrowS, and its
    // I-beams IBeam, IBeamXOR and IBeamS: all of them built in already.
    EXPECT_EQ(controller->roleIdentifiers().at(CursorRole::arrow), builtInArrows);
    EXPECT_EQ(controller->roleIdentifiers().at(CursorRole::iBeam), builtInIBeams);
    const auto& all = controller->allIdentifiers();
    EXPECT_EQ(std::count(all.begin(), all.end(), "com.apple.coregraphics.Arrow"), 1);
    EXPECT_EQ(std::find(all.begin(), all.end(), "com.apple.coregraphics.Arrow") - all.begin(), 5);
    // Names found only by the general discovery follow the role names.
    auto alias = std::find(all.begin(), all.end(), "com.apple.coregraphics.Alias");
    ASSERT_NE(alias, all.end());
    EXPECT_EQ(alias - all.begin(), 14);
    EXPECT_EQ(Names(all.begin(), all.end()), SystemCursorController::deduplicated(all));

    EXPECT_EQ(controller->forcedActivationCursorIDs(),
              (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 100, 101}));
    const auto& byName = controller->systemCursorIDByName();
    EXPECT_EQ(byName.at("com.apple.coregraphics.pointinghand"), 13);
    EXPECT_EQ(byName.at("com.apple.cursor.101"), 101);
    EXPECT_EQ(byName.at("com.apple.coregraphics.globalcurrent"), 0);
    for (const auto& [name, id] : byName)
        EXPECT_EQ(name, SystemCursorController::deduplicated({name}).front()) << name;
}

TEST_F(SystemCursorControllerTest, SwitchesAreOnOnlyForTheValueOne)
{
    struct Case {
        const char* value;
        bool on;
    };
    for (const Case& c : {Case{"1", true}, Case{"true", false}, Case{"yes", false}, Case{"1 ", false},
                          Case{"", false}, Case{nullptr, false}}) {
        for (const char* variable : switchVariables) {
            if (c.value)
                setenv(variable, c.value, 1);
            else
                unsetenv(variable);
        }
        auto controller = makeController(unresolvedRuntime());
        EXPECT_EQ(controller->useLegacySystemIDActivation(), c.on) << (c.value ? c.value : "unset");
        EXPECT_EQ(controller->useCoreSweepActivation(), c.on) << (c.value ? c.value : "unset");
        EXPECT_EQ(controller->useSystemDefinedActivation(), c.on) << (c.value ? c.value : "unset");
    }
    setenv("ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION", "1", 1);
    unsetenv("ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION");
    log.clear();
    auto controller = makeController(unresolvedRuntime());
    EXPECT_FALSE(controller->useSystemDefinedActivation());
    EXPECT_TRUE(log.has("[INFO] SystemCursorController config useCoreSweepActivation=true"));
    EXPECT_TRUE(log.has("[INFO] SystemCursorController config useSystemDefinedActivation=false"));
}

TEST_F(SystemCursorControllerTest, LookupsOfNumbersTemplatesAndPreferredNames)
{
    auto controller = makeController(unresolvedRuntime());

    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.13"), 13);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.+7"), 7);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.-3"), -3);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.13."), 13);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.2147483647"), 2147483647);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.2147483648"), std::nullopt);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.x7"), std::nullopt);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor.+"), std::nullopt);
    EXPECT_EQ(controller->systemCursorID("com.apple.cursor."), std::nullopt);
    EXPECT_EQ(controller->systemCursorID("com.apple.coregraphics.ArrowCtx"), 6);
    EXPECT_EQ(controller->systemCursorID("COM.APPLE.COREGRAPHICS.ARROWS"), 100);
    EXPECT_EQ(controller->systemCursorID("com.apple.coregraphics.IBeam"), std::nullopt);

    EXPECT_EQ(controller->templateForIdentifier("com.apple.coregraphics.IBeam"), CursorTemplate::iBeam);
    EXPECT_EQ(controller->templateForIdentifier("com.apple.coregraphics.ibeam"), std::nullopt);
    EXPECT_EQ(controller->templateForIdentifier("com.apple.cursor.100"), CursorTemplate::arrow);
    EXPECT_EQ(controller->templateForIdentifier("com.apple.cursor.13"), CursorTemplate::pointingHand);
    EXPECT_EQ(controller->templateForIdentifier("com.apple.cursor.4"), std::nullopt);

    EXPECT_TRUE(controller->snapshots().empty());
    EXPECT_EQ(controller->primaryIdentifier(CursorRole::arrow), "com.apple.coregraphics.GlobalCurrent");
    EXPECT_EQ(controller->primaryIdentifier(CursorRole::iBeam), "com.apple.cursor.1");
    EXPECT_EQ(controller->preferredFinalArrowIdentifier("fallback"), "com.apple.coregraphics.GlobalCurrent");
    EXPECT_EQ(SystemCursorController::deduplicated({"b", "", "a", "b", "", "a", "c"}), (Names{"b", "a", "c"}));

    log.clear();
    controller->invalidateCapeCache();
    EXPECT_TRUE(log.has("[INFO] Cape cache invalidated; next apply will rebuild all payloads"));
    EXPECT_EQ(controller->lastAppliedStyleCode(), std::nullopt);

    auto synthetic = SystemCursorController::syntheticSnapshot(CursorTemplate::iBeam);
    StockCursor stock = StockCursor::load(StockCursor::Shape::iBeam);
    EXPECT_EQ(synthetic.size.width, stock.size().width);
    EXPECT_EQ(synthetic.hotSpot.y, stock.hotSpot().y);
    EXPECT_EQ(synthetic.frameCount, 1u);
    EXPECT_TRUE(synthetic.images.empty());
}

TEST_F(SystemCursorControllerTest, AnimatedNamesAreNeverApplyTargets)
{
    auto controller = makeController();
    ASSERT_TRUE(controller->snapshots().count("com.apple.cursor.4"));
    ASSERT_TRUE(controller->snapshots().count("com.apple.coregraphics.Busy"));

    Names targets = controller->targetIdentifiersForApply(
        {"com.apple.cursor.4", "com.apple.coregraphics.WAIT", "my.Busy.cursor", "x.ProgressBar", "Counting",
         "com.apple.cursor.16", "custom.Resize", "com.apple.cursor.13"});

    for (const auto& target : targets) {
        std::string lower = target;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        for (const char* word : {"wait", "busy", "progress", "counting"})
            EXPECT_EQ(lower.find(word), std::string::npos) << target;
        for (const char* animated : {"com.apple.cursor.4", "com.apple.cursor.14", "com.apple.cursor.15",
                                     "com.apple.cursor.16"})
            EXPECT_NE(target, animated);
    }
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "com.apple.cursor.13"), 1);
    EXPECT_EQ(targets.back(), "custom.Resize");
    EXPECT_NE(std::find(targets.begin(), targets.end(), "com.apple.coregraphics.Copy"), targets.end());
    EXPECT_EQ(targets, SystemCursorController::deduplicated(targets));
}

TEST_F(SystemCursorControllerTest, ShapeTestRejectsSnapshotsThatDoNotLookLikeTheirRole)
{
    const CursorSnapshot arrowReference = shape(24, 24, 4, 4);
    auto consistent = [](CursorRole role, const CursorSnapshot& s, const CursorSnapshot& r) {
        return SystemCursorController::isSnapshotConsistentWithRole(role, s, r);
    };

    EXPECT_FALSE(consistent(CursorRole::arrow, shape(32, 32, 28, 4), arrowReference));
    EXPECT_EQ(log.lines(), (Lines{"[DEBUG] isSnapshotConsistentWithRole: arrow hotspot deviation=0.7083333333333334"}));
    log.clear();

    EXPECT_FALSE(consistent(CursorRole::arrow, shape(70, 32, 70.0 / 6, 32.0 / 6), arrowReference));
    EXPECT_TRUE(consistent(CursorRole::arrow, shape(64, 32, 64.0 / 6, 32.0 / 6), arrowReference));
    EXPECT_TRUE(consistent(CursorRole::arrow, shape(32, 32, 4, 4), arrowReference));
    EXPECT_FALSE(consistent(CursorRole::iBeam, shape(12, 10, 6, 5), shape(9, 18, 4, 9)));
    EXPECT_TRUE(consistent(CursorRole::iBeam, shape(10, 12, 5, 6), shape(9, 18, 4, 9)));
    EXPECT_FALSE(consistent(CursorRole::pointingHand, shape(30, 30, 12, 24), shape(30, 30, 12, 18)));
    EXPECT_TRUE(consistent(CursorRole::pointingHand, shape(30, 30, 12, 18), shape(30, 30, 12, 18)));
    EXPECT_FALSE(consistent(CursorRole::arrow, shape(0, 32, 0, 0), arrowReference));
    EXPECT_FALSE(consistent(CursorRole::iBeam, shape(10, 0, 0, 0), arrowReference));
    EXPECT_TRUE(consistent(CursorRole::arrow, shape(32, 32, 28, 4), shape(0, 24, 4, 4)));
    EXPECT_TRUE(log.lines().empty()) << log.lines().front();
}

TEST_F(SystemCursorControllerTest, BaselineSnapshotsOfTheWrongShapeAreReplacedByTheStockCursor)
{
    // With the unregistering failing, what is registered before start-up
    // survives the reset and is what the controller captures.
    fail("CoreCursorUnregisterAll");
    CursorSnapshot wide{{70, 32}, {2, 2}, 1, 0, {solidImage(70, 32)}};
    CursorSnapshot flat{{12, 10}, {6, 5}, 1, 0, {solidImage(12, 10)}};
    ASSERT_TRUE(simRuntime().registerCursor(connection(), "com.apple.coregraphics.ArrowS", wide, wide.images, true, true));
    ASSERT_TRUE(simRuntime().registerCursor(connection(), "com.apple.coregraphics.IBeamS", flat, flat.images, true, true));
    log.clear();

    auto controller = makeController();

    StockCursor arrow = StockCursor::load(StockCursor::Shape::arrow);
    auto stockSize = [](const StockCursor& stock) {
        return std::to_string(int(stock.size().width)) + ".0x" + std::to_string(int(stock.size().height)) + ".0";
    };
    std::regex arrowWarning("\\[WARN\\] Baseline validation FAILED for arrow alias com\\.apple\\.coregraphics\\.ArrowS: "
                            "captured=70\\.0x32\\.0 hotspot=\\(2\\.0,2\\.0\\) reference=" +
                            stockSize(arrow) + " hotspot=\\([0-9.]+,[0-9.]+\\)\\. Replacing with NSCursor reference\\.");
    Lines lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, arrowWarning); }),
              1);
    EXPECT_EQ(countStartingWith(lines, "[WARN] Baseline validation FAILED for iBeam alias com.apple.coregraphics.IBeamS: "
                                       "captured=12.0x10.0 hotspot=(6.0,5.0) reference="),
              1u);

    const CursorSnapshot& replaced = controller->baselineSnapshots().at("com.apple.coregraphics.ArrowS");
    EXPECT_EQ(replaced.size.width, arrow.size().width);
    EXPECT_EQ(replaced.hotSpot.x, arrow.hotSpot().x);
    ASSERT_EQ(replaced.images.size(), 1u);
    EXPECT_EQ(bytesOf(replaced.images[0].get()), bytesOf(arrow.image().get()));
    EXPECT_EQ(controller->baselineSnapshots().at("com.apple.coregraphics.IBeamS").size.width,
              StockCursor::load(StockCursor::Shape::iBeam).size().width);
}

TEST_F(SystemCursorControllerTest, OverrideTestOnAWorkingWindowServerVerifiesBothPathsAndPutsTheArrowBack)
{
    auto controller = makeController();

    EXPECT_TRUE(controller->isRuntimeAvailable());
    EXPECT_TRUE(controller->isVerifiedFunctional());
    EXPECT_TRUE(controller->isGlobalCursorPathEffective());
    EXPECT_TRUE(log.has("[INFO] validateOverrideWorks start: arrowAliasesWithBytes=8"));
    EXPECT_TRUE(log.has("[INFO] validateOverrideWorks success via identifier com.apple.coregraphics.Arrow"));
    EXPECT_TRUE(log.has("[INFO] SystemCursorController verification result: byteOverride=true globalPath=true"));
    // Registration ends with the single-image call, which leaves a name its
    // first image only.
    for (const auto& name : builtInArrows) {
        auto now = shown(name);
        ASSERT_TRUE(now.has_value()) << name;
        ASSERT_FALSE(now->images.empty()) << name;
        EXPECT_EQ(now->images.front(), imageBytes(controller->baselineSnapshots().at(name)).front()) << name;
    }
    EXPECT_EQ(controller->baselineSnapshots().size(), controller->snapshots().size());
}

TEST_F(SystemCursorControllerTest, OverrideTestWithBytesChangedButTheScreenUnchangedVerifiesOnlyTheBytes)
{
    // The arrow that would make the decorated images visible cannot be made
    // current, so the pixels on screen stay those of the plain arrow.
    SimWindowServerSetFailureFor("SetRegisteredCursor", "com.apple.coregraphics.GlobalCurrent", SimWindowServerErrorFailure);
    auto controller = makeController();

    EXPECT_TRUE(controller->isVerifiedFunctional());
    EXPECT_FALSE(controller->isGlobalCursorPathEffective());
    std::regex hashes("\\[INFO\\] validateOverrideWorks globalHashBefore=([0-9a-f]{16}) globalHashAfter=([0-9a-f]{16}) "
                      "globalChanged=false");
    Lines lines = log.lines();
    auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, hashes); });
    ASSERT_NE(line, lines.end());
    std::smatch match;
    std::regex_match(*line, match, hashes);
    EXPECT_EQ(match[1], match[2]);
    EXPECT_TRUE(log.has("[INFO] SystemCursorController verification result: byteOverride=true globalPath=false"));
}

TEST_F(SystemCursorControllerTest, OverrideTestWithoutAnArrowSnapshotIsSkippedSilently)
{
    fail("CopyRegisteredCursorImages");
    fail("CoreCursorCopyImages");
    auto controller = makeController();

    EXPECT_TRUE(controller->isRuntimeAvailable());
    EXPECT_TRUE(controller->baselineSnapshots().empty());
    EXPECT_FALSE(controller->isVerifiedFunctional());
    EXPECT_FALSE(controller->isGlobalCursorPathEffective());
    EXPECT_EQ(countStartingWith(log.lines(), "[INFO] validateOverrideWorks"), 0u);
    EXPECT_EQ(countStartingWith(log.lines(), "[WARN] validateOverrideWorks"), 0u);
    EXPECT_TRUE(log.has("[INFO] Baseline snapshots captured: 0"));
    EXPECT_TRUE(log.has("[INFO] SystemCursorController verification result: byteOverride=false globalPath=false"));
}

TEST_F(SystemCursorControllerTest, WithoutARuntimeEverythingIsLoggedAndRefused)
{
    auto controller = makeController(unresolvedRuntime());

    EXPECT_FALSE(controller->isRuntimeAvailable());
    EXPECT_EQ(controller->connectionID(), std::nullopt);
    EXPECT_EQ(controller->baselineCursorScale(), std::nullopt);
    Lines lines = log.lines();
    auto at = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    Lines expectedInOrder{"[INFO] SystemCursorController init. runtimeAvailable=false connectionID=nil",
                          "[INFO] SystemCursorController config maxTrackedCursorID=44",
                          "[INFO] SystemCursorController config useCoreSweepActivation=false",
                          "[INFO] SystemCursorController config useSystemDefinedActivation=false",
                          "[INFO] Baseline cursor scale: nil",
                          "[INFO] Identifiers for arrow: com.apple.coregraphics.GlobalCurrent, "
                          "com.apple.coregraphics.ConnectionCurrent, com.apple.cursor.0, com.apple.cursor.6, "
                          "com.apple.cursor.100, com.apple.coregraphics.Arrow, com.apple.coregraphics.ArrowCtx, "
                          "com.apple.coregraphics.ArrowS",
                          "[INFO] Baseline snapshots captured: 0",
                          "[INFO] SystemCursorController verification result: byteOverride=false globalPath=false"};
    for (std::size_t i = 0; i + 1 < expectedInOrder.size(); ++i)
        EXPECT_LT(at(expectedInOrder[i]), at(expectedInOrder[i + 1])) << expectedInOrder[i + 1];
    EXPECT_LT(at(expectedInOrder.back()), std::ptrdiff_t(lines.size()));
    EXPECT_EQ(countStartingWith(lines, "[INFO] captureOriginalCursors"), 0u);
    EXPECT_EQ(countStartingWith(lines, "[INFO] normalizeSystemCursorBeforeBaselineCapture"), 0u);

    log.clear();
    EXPECT_FALSE(controller->restoreOriginal());
    EXPECT_EQ(log.lines(), (Lines{"[ERROR] restoreOriginal skipped: runtime unavailable"}));
}

TEST_F(SystemCursorControllerTest, StartUpNormalisesTheCursorBeforeCapturingTheBaseline)
{
    setenv("ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION", "1", 1);
    setenv("ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION", "1", 1);
    SimWindowServerClearCallLog();
    auto controller = makeController();

    Lines all = calls();
    auto anchor = std::find(all.begin(), all.end(), "CGSSetDockCursorOverride enabled=false");
    ASSERT_NE(anchor, all.end());
    Lines afterReset(anchor + 1, anchor + 9);
    EXPECT_EQ(afterReset, (Lines{"CGSSetRegisteredCursor name=com.apple.coregraphics.GlobalCurrent", "CoreCursorSet cursor=0",
                                 "CoreCursorSetAndReturnSeed cursor=0", "CGSSetSystemDefinedCursor cursor=0",
                                 "CGSSetSystemDefinedCursorWithSeed cursor=0", "CGSHideCursor", "CGSShowCursor",
                                 "CGSGetCursorScale"}));
    EXPECT_TRUE(log.has("[INFO] normalizeSystemCursorBeforeBaselineCapture completed. resetOK=true "
                        "finalArrow=com.apple.coregraphics.GlobalCurrent"));
    EXPECT_TRUE(log.has("[INFO] Baseline cursor scale: 1.0"));
    EXPECT_TRUE(log.has("[INFO] Baseline snapshots captured: " + std::to_string(controller->baselineSnapshots().size())));

    log.clear();
    controller->captureOriginalCursors();
    EXPECT_TRUE(log.has("[INFO] captureOriginalCursors completed. captured=0"));
    EXPECT_EQ(countStartingWith(log.lines(), "[DEBUG] snapshotCursor ok"), 0u);
}

TEST_F(SystemCursorControllerTest, RestoreGivesArrowNamesWithoutABaselineTheBaselineArrow)
{
    SimWindowServerSetFailureFor("CopyRegisteredCursorImages", "com.apple.coregraphics.ArrowS", SimWindowServerErrorFailure);
    auto controller = makeController();
    ASSERT_FALSE(controller->baselineSnapshots().count("com.apple.coregraphics.ArrowS"));
    SimWindowServerClearFailures();
    log.clear();

    EXPECT_TRUE(controller->restoreOriginal());

    auto restored = shown("com.apple.coregraphics.ArrowS");
    ASSERT_TRUE(restored.has_value());
    EXPECT_TRUE(restored->registered);
    const CursorSnapshot& baselineArrow = controller->baselineSnapshots().at("com.apple.coregraphics.GlobalCurrent");
    ASSERT_FALSE(restored->images.empty());
    EXPECT_EQ(restored->images.front(), imageBytes(baselineArrow).front());
    EXPECT_EQ(restored->size.width, baselineArrow.size.width);
    EXPECT_EQ(controller->lastAppliedStyleCode(), std::nullopt);
    std::regex completed("\\[INFO\\] restoreOriginal completed\\. resetOK=true baselineRestoreCount=[1-9][0-9]* "
                         "cursorSeedBefore=-?[0-9]+ cursorSeedAfter=-?[0-9]+ cursorHashBefore=[0-9a-f]{16} "
                         "cursorHashAfter=[0-9a-f]{16} hashChanged=(true|false)");
    Lines lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, completed); }));
    EXPECT_EQ(countStartingWith(lines, "[WARN] restoreOriginal rebuilt empty baseline"), 0u);
}

TEST_F(SystemCursorControllerTest, RestoreTwiceReRegistersTheSameBaseline)
{
    auto controller = makeController();
    auto baseline = controller->baselineSnapshots();
    log.clear();

    EXPECT_TRUE(controller->restoreOriginal());
    Lines first = log.lines();
    log.clear();
    EXPECT_TRUE(controller->restoreOriginal());
    Lines second = log.lines();

    auto aliasesLine = [](const Lines& lines) {
        auto found = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("[INFO] restoreBaselineAliases completed. restored=", 0) == 0;
        });
        return found == lines.end() ? std::string() : *found;
    };
    EXPECT_FALSE(aliasesLine(first).empty());
    EXPECT_EQ(aliasesLine(first), aliasesLine(second));
    EXPECT_EQ(countStartingWith(second, "[WARN] restoreOriginal rebuilt empty baseline"), 0u);
    EXPECT_EQ(controller->baselineSnapshots().size(), baseline.size());
    for (const auto& [name, snapshot] : baseline) {
        EXPECT_EQ(controller->baselineSnapshots().at(name).images, snapshot.images) << name;
        EXPECT_EQ(controller->snapshots().at(name).images, snapshot.images) << name;
    }
    EXPECT_EQ(shown("com.apple.coregraphics.Arrow")->images.front(),
              imageBytes(baseline.at("com.apple.coregraphics.Arrow")).front());
}

TEST_F(SystemCursorControllerTest, RestoreIsFalseWhenTheHardResetFailsEvenThoughItRegistered)
{
    auto controller = makeController();
    fail("CoreCursorUnregisterAll");
    log.clear();

    EXPECT_FALSE(controller->restoreOriginal());
    EXPECT_EQ(countStartingWith(log.lines(), "[INFO] restoreOriginal completed. resetOK=false baselineRestoreCount=0"), 0u);
    EXPECT_EQ(countStartingWith(log.lines(), "[INFO] restoreOriginal completed. resetOK=false baselineRestoreCount="), 1u);
}

TEST_F(SystemCursorControllerTest, RestoreRebuildsAnEmptyBaselineAndSetsTheScaleItCanRead)
{
    fail("CopyRegisteredCursorImages");
    fail("CoreCursorCopyImages");
    fail("GetCursorScale");
    auto controller = makeController();
    ASSERT_TRUE(controller->baselineSnapshots().empty());
    ASSERT_EQ(controller->baselineCursorScale(), std::nullopt);

    // Nothing readable: no scale is set and none is logged.
    log.clear();
    EXPECT_FALSE(controller->restoreOriginal());
    EXPECT_TRUE(log.has("[WARN] restoreOriginal rebuilt empty baseline count=0"));
    EXPECT_EQ(countStartingWith(log.lines(), "[INFO] restoreBaselineAliases"), 0u);
    EXPECT_EQ(countStartingWith(log.lines(), "[DEBUG] Baseline cursor scale restored"), 0u);

    SimWindowServerClearFailures();
    ASSERT_TRUE(simRuntime().setCursorScale(connection(), 1.5f));
    log.clear();
    EXPECT_TRUE(controller->restoreOriginal());
    EXPECT_GT(controller->baselineSnapshots().size(), 0u);
    EXPECT_TRUE(log.has("[WARN] restoreOriginal rebuilt empty baseline count=" +
                        std::to_string(controller->baselineSnapshots().size())));
    EXPECT_TRUE(log.has("[DEBUG] Baseline cursor scale restored to 1.5"));
    EXPECT_EQ(controller->baselineCursorScale(), 1.5f);
    EXPECT_EQ(SimWindowServerCursorScale(), 1.5f);
}

TEST_F(SystemCursorControllerTest, FullActivationWithEverySwitchOffMakesExactlyTheListedCallsThenThreeDelayedSteps)
{
    auto controller = makeController();
    calls();
    log.clear();

    controller->activateRegisteredCursors(connection(), false, std::nullopt);

    Lines expected;
    for (const auto& name : builtInArrows)
        expected.push_back("CGSSetRegisteredCursor name=" + name);
    expected.push_back("CGSSetRegisteredCursor name=com.apple.coregraphics.GlobalCurrent");
    Lines redraw{"CGSHideCursor", "CGSShowCursor"};
    Lines nudge{"CGSGetCursorScale", "CGSSetCursorScale scale=1.3800001", "CGSSetCursorScale scale=1.08"};
    Lines move{"TarnwickMouseLocation", "TarnwickPrimaryScreenHeight",
               "CGEventPost tap=0 type=5 location=(400.0,780.0) button=0"};
    auto plus = [](Lines a, const Lines& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    expected = plus(plus(plus(plus(expected, redraw), {"CGSGetCursorScale", "CGSSetCursorScale scale=1.08"}), nudge), move);
    EXPECT_EQ(calls(), expected);
    EXPECT_TRUE(log.has("[INFO] Decorated cursor scale update base=1.0 current=1.0 target=1.08 applied=true"));
    EXPECT_EQ(loop.scheduledCount(), 3u);

    Lines delayed = plus(plus(Lines{"CGSSetRegisteredCursor name=com.apple.coregraphics.GlobalCurrent",
                                    "CGSGetCursorScale"},
                              nudge),
                         move);
    loop.advance(0.049);
    EXPECT_TRUE(calls().empty());
    loop.advance(0.001);
    EXPECT_EQ(calls(), delayed);
    loop.advance(0.109);
    EXPECT_TRUE(calls().empty());
    loop.advance(0.001);
    EXPECT_EQ(calls(), delayed);
    loop.advance(0.159);
    EXPECT_TRUE(calls().empty());
    loop.advance(0.001);
    EXPECT_EQ(calls(), delayed);
    EXPECT_EQ(loop.scheduledCount(), 0u);
    EXPECT_EQ(SimWindowServerCursorScale(), 1.08f);
}

TEST_F(SystemCursorControllerTest, DelayedStepsOfAReleasedControllerDoNothing)
{
    auto controller = makeController();
    controller->activateRegisteredCursors(connection(), false, std::nullopt);
    calls();
    controller.reset();

    loop.advance(1.0);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(loop.scheduledCount(), 0u);
}

TEST_F(SystemCursorControllerTest, ARestoreSilencesTheReactivationsScheduledBeforeIt)
{
    auto controller = makeController();
    controller->activateRegisteredCursors(connection(), false, std::nullopt);
    loop.advance(0.05);
    ASSERT_EQ(SimWindowServerCursorScale(), 1.08f);

    ASSERT_TRUE(controller->restoreOriginal());
    ASSERT_EQ(SimWindowServerCursorScale(), 1.0f);
    calls();
    loop.advance(1.0);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(SimWindowServerCursorScale(), 1.0f);

    // What an activation after the restore schedules runs as usual.
    controller->activateRegisteredCursors(connection(), false, std::nullopt);
    calls();
    loop.advance(0.32);
    Lines made = calls();
    EXPECT_EQ(std::count(made.begin(), made.end(), "CGSSetRegisteredCursor name=com.apple.coregraphics.GlobalCurrent"), 3);
    EXPECT_EQ(SimWindowServerCursorScale(), 1.08f);
}

TEST_F(SystemCursorControllerTest, LightweightActivationNeitherScalesNorSchedules)
{
    auto controller = makeController();
    calls();
    log.clear();

    controller->activateRegisteredCursors(connection(), true, std::nullopt);

    Lines made = calls();
    EXPECT_EQ(std::count(made.begin(), made.end(), "CGSHideCursor"), 0);
    EXPECT_EQ(std::count(made.begin(), made.end(), "CGSSetCursorScale scale=1.08"), 0);
    EXPECT_EQ(loop.scheduledCount(), 0u);
    EXPECT_TRUE(log.has("[INFO] registerAndActivate lightweight refresh (language-only switch)"));
    EXPECT_EQ(SimWindowServerCursorScale(), 1.0f);
}

TEST_F(SystemCursorControllerTest, ActivationWithEverySwitchOnSweepsAndReassertsTheArrowNumber)
{
    for (const char* variable : switchVariables)
        setenv(variable, "1", 1);
    auto controller = makeController();
    calls();
    log.clear();

    controller->activateRegisteredCursors(connection(), false, std::nullopt);

    Lines made = calls();
    Lines systemDefined;
    for (const auto& call : made)
        if (call.rfind("CGSSetSystemDefinedCursor cursor=", 0) == 0)
            systemDefined.push_back(call.substr(call.find('=') + 1));
    Lines expectedIDs;
    for (std::int32_t id : controller->forcedActivationCursorIDs())
        expectedIDs.push_back(std::to_string(id));
    expectedIDs.push_back("0");
    EXPECT_EQ(systemDefined, expectedIDs);
    EXPECT_TRUE(log.has("[WARN] Legacy system ID activation flag is set, but Arrow ID priming is already active by default"));
    EXPECT_TRUE(log.has("[INFO] core activation sweep completed. attempted=45 success=19 preferred=0 chosen=0"));

    loop.advance(0.05);
    Lines first = calls();
    EXPECT_NE(std::find(first.begin(), first.end(), "CGSSetSystemDefinedCursor cursor=0"), first.end());
    EXPECT_NE(std::find(first.begin(), first.end(), "CoreCursorSetAndReturnSeed cursor=0"), first.end());
    loop.advance(0.11);
    Lines second = calls();
    EXPECT_EQ(std::find(second.begin(), second.end(), "CGSSetSystemDefinedCursor cursor=0"), second.end());
    EXPECT_NE(std::find(second.begin(), second.end(), "CoreCursorSet cursor=0"), second.end());
}

TEST_F(SystemCursorControllerTest, CoreSweepWithEverySetFailingChoosesThePreferredNumber)
{
    setenv("ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION", "1", 1);
    auto controller = makeController();
    fail("CoreCursorSet");
    calls();
    log.clear();

    controller->activateRegisteredCursors(connection(), true, std::nullopt);

    EXPECT_TRUE(log.has("[INFO] core activation sweep completed. attempted=45 success=0 preferred=0 chosen=0"));
    Lines made = calls();
    EXPECT_EQ(std::count_if(made.begin(), made.end(), [](const std::string& c) { return c.rfind("CoreCursorSet ", 0) == 0; }),
              46);
    auto last = std::find(made.rbegin(), made.rend(), "CoreCursorSet cursor=0");
    ASSERT_NE(last, made.rend());
    EXPECT_EQ(*(last - 1), "CoreCursorSetAndReturnSeed cursor=0");
}

TEST_F(SystemCursorControllerTest, DecoratedScaleIsTheBaselineEnlargedButNeverBelowOne)
{
    {
        auto controller = makeController();
        log.clear();
        controller->applyDecoratedCursorScale(connection());
        EXPECT_EQ(SimWindowServerCursorScale(), 1.08f);
        EXPECT_EQ(log.lines(), (Lines{"[DEBUG] setCursorScale requested=1.08 clamped=1.08 error=0",
                                      "[INFO] Decorated cursor scale update base=1.0 current=1.0 target=1.08 applied=true"}));

        // Within the tolerance nothing is set or logged.
        ASSERT_TRUE(simRuntime().setCursorScale(connection(), 1.0805f));
        calls();
        log.clear();
        controller->applyDecoratedCursorScale(connection());
        EXPECT_EQ(calls(), (Lines{"CGSGetCursorScale"}));
        EXPECT_TRUE(log.lines().empty());

        fail("GetCursorScale");
        controller->applyDecoratedCursorScale(connection());
        EXPECT_TRUE(log.has("[INFO] Decorated cursor scale applied (no current read): base=1.0 target=1.08"));
    }
    SimWindowServerReset();
    ASSERT_TRUE(simRuntime().setCursorScale(connection(), 0.9f));
    auto controller = makeController();
    EXPECT_EQ(controller->baselineCursorScale(), 0.9f);
    log.clear();
    controller->applyDecoratedCursorScale(connection());
    EXPECT_TRUE(log.has("[INFO] Decorated cursor scale update base=0.9 current=0.9 target=1.0 applied=true"));
    EXPECT_EQ(SimWindowServerCursorScale(), 1.0f);

    // A baseline that cannot be read is looked for again and 1.0 assumed.
    SimWindowServerReset();
    fail("GetCursorScale");
    auto unreadable = makeController();
    log.clear();
    unreadable->applyDecoratedCursorScale(connection());
    EXPECT_EQ(unreadable->baselineCursorScale(), std::nullopt);
    EXPECT_TRUE(log.has("[INFO] Decorated cursor scale applied (no current read): base=1.0 target=1.08"));
    EXPECT_EQ(SimWindowServerCursorScale(), 1.08f);
}
