#include "controller/SystemCursorController.h"

#include "capes/CursorCapeStore.h"
#include "language/CursorStyle.h"
#include "platform/runloop/ManualRunLoop.h"
#include "platform/stockcursors/StockCursor.h"
#include "providers/sim/SimWindowServer.h"
#include "runtime/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <regex>
#include <set>

namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

const char* const switchVariables[] = {"ORVELLE_ENABLE_LEGACY_ID_ACTIVATION", "ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION",
                                       "ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION"};

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

std::optional<CursorMarker> letterBadge(const std::string& code)
{
    return marker(CursorStyle::letterBadge, InputLanguage::make(code, code, code));
}

Bytes bytesOf(CGImageRef image)
{
    const std::uint8_t* bytes = CGImageGetBytePointer(image);
    return {bytes, bytes + CGImageGetBytesLength(image)};
}

// The image's 32-bit pixels with every row reversed: the image seen in a mirror.
Bytes mirroredBytes(CGImageRef image)
{
    Bytes bytes = bytesOf(image);
    std::size_t width = CGImageGetWidth(image);
    std::size_t rowBytes = CGImageGetBytesPerRow(image);
    for (std::size_t row = 0; row < CGImageGetHeight(image); ++row) {
        auto* pixels = reinterpret_cast<std::uint32_t*>(bytes.data() + row * rowBytes);
        std::reverse(pixels, pixels + width);
    }
    return bytes;
}

// What the simulated window server holds for a name, images released.
struct Shown {
    CGSize size{};
    CGPoint hotSpot{};
    std::vector<Bytes> images;
    bool registered = false;
};

Shown shown(const std::string& name)
{
    SimCursorContents contents{};
    if (!SimWindowServerCopyCursor(name.c_str(), &contents))
        return {};
    Shown result{contents.size, contents.hotSpot, {}, contents.registered};
    for (CFIndex i = 0; i < CFArrayGetCount(contents.images); ++i)
        result.images.push_back(bytesOf(static_cast<CGImageRef>(CFArrayGetValueAtIndex(contents.images, i))));
    CFRelease(contents.images);
    return result;
}

CFRef<CGImageRef> solidImage(std::size_t width, std::size_t height)
{
    std::vector<std::uint32_t> pixels(width * height, 0xFF202020);
    return CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                  kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                  pixels.data(), pixels.size() * 4));
}

CursorSnapshot solidCursor(double width, double height, double hotX, double hotY)
{
    return CursorSnapshot{{width, height},
                          {hotX, hotY},
                          1,
                          0,
                          {solidImage(std::size_t(width), std::size_t(height))}};
}

Lines startingWith(const Lines& lines, const std::string& prefix)
{
    Lines found;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(found),
                 [&](const std::string& line) { return line.compare(0, prefix.size(), prefix) == 0; });
    return found;
}

// The position of the first line that starts with prefix, or npos.
std::size_t indexOf(const Lines& lines, const std::string& prefix)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0)
            return i;
    return std::string::npos;
}

// The source= value of every "arrow alias registration" line.
std::set<std::string> arrowSources(const Lines& lines)
{
    static const std::regex source(" source=([^ ]+) ");
    std::set<std::string> sources;
    for (const auto& line : startingWith(lines, "[INFO] arrow alias registration identifier=")) {
        std::smatch match;
        if (std::regex_search(line, match, source))
            sources.insert(match[1]);
    }
    return sources;
}

class ApplyTest : public ::testing::Test {
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
        SimWindowServerReset();
    }

    std::shared_ptr<SystemCursorController> makeController(CGSRuntime& runtime = simRuntime())
    {
        return std::make_shared<SystemCursorController>(runtime, capeStore, ActivationSwitches{});
    }
    static void fail(const char* function) { SimWindowServerSetFailure(function, SimWindowServerErrorFailure); }
    static CGSConnectionID connection() { return SimWindowServerInitialConnectionID; }
    // Registered before start-up while unregistering fails, so the start-up
    // reset leaves them and the controller takes them for the originals.
    static void installBeforeStartUp(const std::map<std::string, CursorSnapshot>& cursors)
    {
        fail("CoreCursorUnregisterAll");
        for (const auto& [name, cursor] : cursors)
            ASSERT_TRUE(simRuntime().registerCursor(connection(), name, cursor, cursor.images, true, true)) << name;
    }
    std::string capePath(const std::string& fileName) const { return *capeStore.capesDirectory() + "/" + fileName; }
    std::size_t unregisterCalls() const { return SimWindowServerCallCount("CoreCursorUnregisterAll"); }

    ManualRunLoop loop;
    LogCapture log;
    // In the temporary home that the log capture sets up.
    CursorCapeStore capeStore;
};

}

TEST_F(ApplyTest, WithoutARuntimeApplyIsRefused)
{
    auto controller = makeController(unresolvedRuntime());
    log.clear();

    EXPECT_FALSE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    EXPECT_EQ(log.lines(), Lines{"[ERROR] apply skipped: runtime unavailable"});
}

TEST_F(ApplyTest, TheSameStyleTwiceIsALightweightSwitchAndAnyOtherChangeAFullOne)
{
    auto controller = makeController();
    SimWindowServerClearCallLog();
    log.clear();

    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    EXPECT_EQ(unregisterCalls(), 1u);
    EXPECT_EQ(log.count("[INFO] registerAndActivate lightweight refresh (language-only switch)"), 0u);
    EXPECT_EQ(loop.scheduledCount(), 3u);
    EXPECT_EQ(controller->lastAppliedStyleCode(), "letterBadge");
    auto english = shown("com.apple.coregraphics.GlobalCurrent");

    SimWindowServerClearCallLog();
    log.clear();
    ASSERT_TRUE(controller->apply(letterBadge("ru"), "ru", "letterBadge", false));
    EXPECT_EQ(unregisterCalls(), 0u);
    EXPECT_EQ(log.count("[INFO] registerAndActivate lightweight refresh (language-only switch)"), 1u);
    EXPECT_EQ(loop.scheduledCount(), 3u) << "a lightweight switch schedules nothing";
    // Started from the baseline again: the Russian badge replaced the English
    // one rather than being drawn over it.
    auto russian = shown("com.apple.coregraphics.GlobalCurrent");
    EXPECT_EQ(russian.size.width, english.size.width);
    EXPECT_EQ(russian.size.height, english.size.height);
    EXPECT_NE(russian.images, english.images);

    SimWindowServerClearCallLog();
    log.clear();
    ASSERT_TRUE(controller->apply(letterBadge("ru"), "ru", "dotBadge", false));
    EXPECT_EQ(unregisterCalls(), 1u) << "a new style is a full apply";
    EXPECT_EQ(log.count("[INFO] registerAndActivate lightweight refresh (language-only switch)"), 0u);

    ASSERT_TRUE(controller->restoreOriginal());
    SimWindowServerClearCallLog();
    log.clear();
    ASSERT_TRUE(controller->apply(letterBadge("ru"), "ru", "dotBadge", false));
    EXPECT_EQ(unregisterCalls(), 1u) << "a restore in between makes it a full apply";
}

TEST_F(ApplyTest, BadgeStylesDrawEveryCursorLiveEvenWithTheirCapeOnDisk)
{
    // One arrow name without an original of its own is drawn from the stock arrow.
    SimWindowServerSetFailureFor("CopyRegisteredCursorImages", "com.apple.coregraphics.ArrowS",
                                 SimWindowServerErrorFailure);
    auto controller = makeController();
    SimWindowServerClearFailures();
    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    ASSERT_TRUE(std::filesystem::exists(capePath("com.tarnwick.en.letterbadge.cape")));
    auto cape = capeStore.loadCape("en", "letterBadge");
    ASSERT_TRUE(cape.has_value());
    ASSERT_TRUE(controller->restoreOriginal());
    log.clear();

    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));

    Lines lines = log.lines();
    std::string available = std::to_string(cape->size());
    EXPECT_EQ(startingWith(lines, "[INFO] apply using cape payloads: "),
              Lines{"[INFO] apply using cape payloads: language=en style=letterBadge cursors=" + available});
    Lines stats = startingWith(lines, "[INFO] apply source stats: ");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_TRUE(std::regex_match(stats[0], std::regex("\\[INFO\\] apply source stats: useCape=true capeApplied=0 "
                                                      "generatedApplied=[1-9][0-9]* capeAvailable=" +
                                                      available)))
        << stats[0];
    EXPECT_EQ(arrowSources(lines), (std::set<std::string>{"snapshot-template-safe", "template"}));
    EXPECT_EQ(startingWith(lines, "[INFO] arrow alias registration identifier=com.apple.coregraphics.ArrowS "
                                  "payloadFrom=com.apple.coregraphics.ArrowS source=template ")
                  .size(),
              1u);
    EXPECT_EQ(startingWith(lines, "[WARN] Cape payload apply did not change").size(), 0u);
}

TEST_F(ApplyTest, TheSystemStyleInAnyLetterCaseTakesItsCursorsFromTheCape)
{
    auto controller = makeController();
    log.clear();

    ASSERT_TRUE(controller->apply(std::nullopt, "en", "System", true));
    Lines first = log.lines();
    EXPECT_EQ(startingWith(first, "[INFO] apply using cape payloads: ").size(), 0u);
    EXPECT_EQ(arrowSources(first), std::set<std::string>{"snapshot+canonical-fallback"});
    ASSERT_TRUE(std::filesystem::exists(capePath("com.tarnwick.en.system.cape")));
    EXPECT_EQ(controller->lastAppliedStyleCode(), "System");

    // A restore shows the originals again, so the cape now changes the screen.
    ASSERT_TRUE(controller->restoreOriginal());
    log.clear();
    ASSERT_TRUE(controller->apply(std::nullopt, "en", "System", true));
    Lines second = log.lines();
    EXPECT_EQ(startingWith(second, "[INFO] apply using cape payloads: language=en style=System cursors=").size(), 1u);
    EXPECT_EQ(arrowSources(second), std::set<std::string>{"cape+canonical-fallback"});
    Lines stats = startingWith(second, "[INFO] apply source stats: ");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_TRUE(std::regex_search(stats[0], std::regex("useCape=true capeApplied=[1-9][0-9]* generatedApplied=0 ")))
        << stats[0];
    EXPECT_EQ(startingWith(second, "[WARN] Cape payload apply did not change").size(), 0u);
    EXPECT_EQ(startingWith(second, "[INFO] apply completed. appliedAny=true ").size(), 1u);
}

TEST_F(ApplyTest, ACapeThatChangesNothingVisibleIsReplacedOnceByALiveSet)
{
    auto controller = makeController();
    ASSERT_TRUE(controller->apply(std::nullopt, "en", "system", true));
    auto installed = shown("com.apple.coregraphics.GlobalCurrent");
    SimWindowServerClearCallLog();
    log.clear();

    // The mirrored set is on screen already; its cape cannot change anything.
    ASSERT_TRUE(controller->apply(std::nullopt, "en", "system", true));

    Lines lines = log.lines();
    std::size_t capeStats = indexOf(lines, "[INFO] apply source stats: useCape=true capeApplied=");
    std::size_t warning = indexOf(lines, "[WARN] Cape payload apply did not change global cursor hash; retrying with "
                                         "live-generated payloads");
    std::size_t liveStats = indexOf(lines, "[INFO] apply source stats: useCape=false capeApplied=0 generatedApplied=");
    std::size_t result = indexOf(lines, "[INFO] Fallback generated apply result appliedAny=true hashChanged=false");
    ASSERT_NE(capeStats, std::string::npos);
    ASSERT_NE(warning, std::string::npos);
    ASSERT_NE(liveStats, std::string::npos);
    ASSERT_NE(result, std::string::npos);
    EXPECT_TRUE(capeStats < warning && warning < liveStats && liveStats < result);
    Lines completed = startingWith(lines, "[INFO] apply completed. ");
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_TRUE(std::regex_match(completed[0],
                                 std::regex("\\[INFO\\] apply completed\\. appliedAny=true cursorSeedBefore=-?[0-9]+ "
                                            "cursorSeedAfter=-?[0-9]+ cursorHashBefore=([0-9a-f]{16}) "
                                            "cursorHashAfter=\\1 hashChanged=false")))
        << completed[0];
    EXPECT_GT(indexOf(lines, "[INFO] apply completed. "), result);
    // Same style as before: neither pass resets the cursors.
    EXPECT_EQ(unregisterCalls(), 0u);
    EXPECT_EQ(shown("com.apple.coregraphics.GlobalCurrent").images, installed.images);
}

TEST_F(ApplyTest, AnArrowNameWithAWeakPayloadGetsTheCanonicalArrow)
{
    installBeforeStartUp({{"com.apple.coregraphics.ArrowS", solidCursor(16, 16, 2, 2)}});
    auto controller = makeController();
    SimWindowServerClearFailures();
    ASSERT_EQ(controller->baselineSnapshots().at("com.apple.coregraphics.ArrowS").size.width, 16.0);
    log.clear();

    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));

    Lines lines = log.lines();
    EXPECT_EQ(startingWith(lines, "[INFO] Canonical arrow payload selected identifier=").size(), 1u);
    EXPECT_EQ(indexOf(lines, "[INFO] Canonical arrow payload selected identifier=com.apple.coregraphics.GlobalCurrent "
                             "source=snapshot-template-safe size="),
              indexOf(lines, "[INFO] Canonical arrow payload selected identifier="));
    EXPECT_TRUE(log.has("[WARN] Arrow alias com.apple.coregraphics.ArrowS has weak direct payload "
                        "source=snapshot-template-safe size=24.0x27.0 images=1; using canonical fallback"));
    EXPECT_EQ(startingWith(lines, "[INFO] arrow alias registration identifier=com.apple.coregraphics.ArrowS "
                                  "payloadFrom=com.apple.coregraphics.GlobalCurrent "
                                  "source=snapshot-template-safe+canonical-fallback ")
                  .size(),
              1u);
    auto alias = shown("com.apple.coregraphics.ArrowS");
    auto canonical = shown("com.apple.coregraphics.GlobalCurrent");
    EXPECT_EQ(alias.images, canonical.images);
    EXPECT_EQ(alias.size.height, canonical.size.height);
    // The first candidate was strong, so no other one was considered.
    EXPECT_EQ(startingWith(lines, "[WARN] Rejected weak arrow payload").size(), 0u);

    log.clear();
    ASSERT_TRUE(controller->apply(std::nullopt, "en", "system", true));
    EXPECT_EQ(startingWith(log.lines(), "[INFO] arrow alias registration identifier=com.apple.coregraphics.ArrowS "
                                        "payloadFrom=com.apple.coregraphics.GlobalCurrent "
                                        "source=snapshot+canonical-fallback ")
                  .size(),
              1u);
}

TEST_F(ApplyTest, ResizeCursorsAreRecognisedByTheirProportions)
{
    installBeforeStartUp({
        {"com.apple.coregraphics.ResizeLeftRight", solidCursor(40, 20, 20, 10)},
        {"com.apple.coregraphics.ResizeUpDown", solidCursor(20, 40, 10, 20)},
        {"com.apple.coregraphics.ResizeNorthWestSouthEast", solidCursor(24, 24, 12, 12)},
        {"com.apple.coregraphics.Copy", solidCursor(10, 10, 1, 1)},
        {"com.apple.coregraphics.ResizeLeft", solidCursor(40, 40, 20, 20)},
    });
    auto controller = makeController();
    SimWindowServerClearFailures();
    log.clear();

    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));

    const std::string detection = "[INFO] resolveDirectPayload resize detection: com.apple.coregraphics.";
    EXPECT_TRUE(log.has(detection + "ResizeLeftRight size=40.0x20.0 isH=true isV=false isDiag=false"));
    EXPECT_TRUE(log.has(detection + "ResizeUpDown size=20.0x40.0 isH=false isV=true isDiag=false"));
    EXPECT_TRUE(log.has(detection + "ResizeNorthWestSouthEast size=24.0x24.0 isH=false isV=false isDiag=true"));
    EXPECT_EQ(startingWith(log.lines(), detection + "Copy ").size(), 0u);
    EXPECT_EQ(startingWith(log.lines(), detection + "ResizeLeft ").size(), 0u);

    // Each kind gets the room its badge needs beside and below it.
    auto size = [](const char* name) {
        auto cursor = shown(std::string("com.apple.coregraphics.") + name);
        return std::make_pair(cursor.size.width, cursor.size.height);
    };
    EXPECT_EQ(size("ResizeLeftRight"), std::make_pair(68.0, 40.0));
    EXPECT_EQ(size("ResizeUpDown"), std::make_pair(40.0, 70.0));
    EXPECT_EQ(size("ResizeNorthWestSouthEast"), std::make_pair(50.0, 50.0));
    EXPECT_EQ(size("Copy"), std::make_pair(24.0, 24.0));
    EXPECT_EQ(size("ResizeLeft"), std::make_pair(40.0, 51.0));
}

TEST_F(ApplyTest, ARoleCursorWhoseImagesCannotBeRedrawnIsDrawnFromItsStockCursor)
{
    // Far beyond any canvas the renderer will make, and beyond any real
    // cursor: the runtime refuses it at capture, so it never reaches the
    // renderer and the I-beam is drawn from the stock one instead.
    CursorSnapshot huge{{40000, 50000}, {20000, 25000}, 1, 0, {solidImage(4, 5)}};
    installBeforeStartUp({{"com.apple.coregraphics.IBeamS", huge}});
    auto controller = makeController();
    SimWindowServerClearFailures();
    auto baseline = controller->baselineSnapshots().find("com.apple.coregraphics.IBeamS");
    EXPECT_TRUE(baseline == controller->baselineSnapshots().end() || baseline->second.size.width < 40000.0);
    log.clear();

    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));

    auto iBeam = shown("com.apple.coregraphics.IBeamS");
    EXPECT_TRUE(iBeam.registered);
    CGSize stock = StockCursor::load(StockCursor::Shape::iBeam).size();
    EXPECT_EQ(iBeam.size.width, stock.width + 26);
    EXPECT_EQ(iBeam.size.height, stock.height + 30);
    EXPECT_EQ(startingWith(log.lines(), "[WARN] registerCursor skipped for com.apple.coregraphics.IBeamS").size(), 0u);
}

TEST_F(ApplyTest, TheSystemStyleLeftHandedInstallsMirroredCursorsAndKeepsResizeCursorsAsTheyAre)
{
    installBeforeStartUp({
        {"com.apple.coregraphics.ResizeLeftRight", solidCursor(40, 20, 5, 10)},
        {"com.apple.coregraphics.Copy", solidCursor(10, 10, 2, 2)},
    });
    auto controller = makeController();
    SimWindowServerClearFailures();
    const CursorSnapshot arrow = controller->baselineSnapshots().at("com.apple.coregraphics.Arrow");
    log.clear();

    ASSERT_TRUE(controller->apply(std::nullopt, "en", "system", true));

    EXPECT_EQ(log.count("[INFO] apply(marker:nil, isLeftHanded:false) -> restoreOriginal"), 0u);
    EXPECT_EQ(startingWith(log.lines(), "[INFO] restoreOriginal completed.").size(), 0u);
    // Not decorated: the same size, mirrored pixels, the hot spot at the other side.
    auto mirrored = shown("com.apple.cursor.0");
    ASSERT_TRUE(mirrored.registered);
    EXPECT_EQ(mirrored.size.width, arrow.size.width);
    EXPECT_EQ(mirrored.size.height, arrow.size.height);
    EXPECT_EQ(mirrored.hotSpot.x, arrow.size.width - arrow.hotSpot.x);
    EXPECT_EQ(mirrored.hotSpot.y, arrow.hotSpot.y);
    ASSERT_FALSE(mirrored.images.empty());
    EXPECT_EQ(mirrored.images.front(), mirroredBytes(arrow.images.front().get()));

    auto resize = shown("com.apple.coregraphics.ResizeLeftRight");
    EXPECT_EQ(resize.hotSpot.x, 5.0);
    EXPECT_EQ(resize.size.width, 40.0);
    auto other = shown("com.apple.coregraphics.Copy");
    EXPECT_EQ(other.hotSpot.x, 8.0);
    EXPECT_EQ(other.size.width, 10.0);
}

TEST_F(ApplyTest, NoBadgeRightHandedRestoresTheOriginals)
{
    auto controller = makeController();
    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    log.clear();

    EXPECT_TRUE(controller->apply(std::nullopt, "en", "system", false));

    Lines lines = log.lines();
    EXPECT_EQ(log.count("[INFO] apply(marker:nil, isLeftHanded:false) -> restoreOriginal"), 1u);
    EXPECT_EQ(startingWith(lines, "[INFO] restoreOriginal completed. resetOK=true").size(), 1u);
    EXPECT_LT(indexOf(lines, "[INFO] apply(marker:nil, isLeftHanded:false) -> restoreOriginal"),
              indexOf(lines, "[INFO] hardResetSystemCursors completed."));
    EXPECT_EQ(startingWith(lines, "[INFO] Applying marker").size(), 0u);
    EXPECT_EQ(controller->lastAppliedStyleCode(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(capePath("com.tarnwick.en.system.cape")));
    EXPECT_FALSE(shown("com.apple.coregraphics.GlobalCurrent").images.empty());
    EXPECT_EQ(shown("com.apple.coregraphics.Arrow").images.front(),
              bytesOf(controller->baselineSnapshots().at("com.apple.coregraphics.Arrow").images.front().get()));
}

TEST_F(ApplyTest, ANameWithNeitherASnapshotNorATemplateIsSkipped)
{
    auto controller = makeController();
    ASSERT_FALSE(controller->snapshots().count("com.apple.cursor.44"));
    // A cape names it, which makes it a target.
    CursorSnapshot stray = solidCursor(24, 24, 1, 1);
    ASSERT_TRUE(capeStore.saveCape("en", "letterBadge", {{"com.apple.cursor.44", {stray, stray.images}}}));
    log.clear();

    EXPECT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    EXPECT_EQ(log.count("[DEBUG] apply skipped for com.apple.cursor.44: no snapshot and no template fallback"), 1u);
    EXPECT_FALSE(SimWindowServerIsRegistered("com.apple.cursor.44"));
}

TEST_F(ApplyTest, OnlyASuccessfulApplySavesItsCapeAndRemembersItsStyle)
{
    auto controller = makeController();
    fail("RegisterCursorWithImages");
    fail("RegisterCursorWithImage");
    log.clear();

    EXPECT_FALSE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    EXPECT_EQ(startingWith(log.lines(), "[INFO] apply completed. appliedAny=false ").size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(capePath("com.tarnwick.en.letterbadge.cape")));
    EXPECT_EQ(controller->lastAppliedStyleCode(), std::nullopt);

    SimWindowServerClearFailures();
    log.clear();
    ASSERT_TRUE(controller->apply(letterBadge("en"), "en", "letterBadge", false));
    ASSERT_TRUE(std::filesystem::exists(capePath("com.tarnwick.en.letterbadge.cape")));
    EXPECT_EQ(controller->lastAppliedStyleCode(), "letterBadge");
    // The cape holds exactly what was installed.
    auto cape = capeStore.loadCape("en", "letterBadge");
    ASSERT_TRUE(cape.has_value());
    std::regex generated("generatedApplied=([0-9]+)");
    std::smatch count;
    Lines stats = startingWith(log.lines(), "[INFO] apply source stats: ");
    ASSERT_EQ(stats.size(), 1u);
    ASSERT_TRUE(std::regex_search(stats[0], count, generated));
    EXPECT_EQ(std::to_string(cape->size()), count[1].str());
    const auto& arrow = cape->at("com.apple.coregraphics.GlobalCurrent");
    auto onServer = shown("com.apple.coregraphics.GlobalCurrent");
    EXPECT_EQ(arrow.snapshot.size.height, onServer.size.height);
    EXPECT_EQ(arrow.snapshot.hotSpot.x, onServer.hotSpot.x);
    // The simulated server keeps only the first image of a registration.
    ASSERT_FALSE(arrow.images.empty());
    EXPECT_EQ(bytesOf(arrow.images.front().get()), onServer.images.front());

    // A failed apply of another style leaves the remembered style alone.
    fail("RegisterCursorWithImages");
    fail("RegisterCursorWithImage");
    EXPECT_FALSE(controller->apply(letterBadge("en"), "en", "dotBadge", false));
    EXPECT_EQ(controller->lastAppliedStyleCode(), "letterBadge");
    EXPECT_FALSE(std::filesystem::exists(capePath("com.tarnwick.en.dotbadge.cape")));

    // Without a language there is nothing to name a cape after.
    SimWindowServerClearFailures();
    std::filesystem::remove(capePath("com.tarnwick.en.letterbadge.cape"));
    EXPECT_TRUE(controller->apply(letterBadge("en"), std::nullopt, "highContrast", false));
    EXPECT_EQ(controller->lastAppliedStyleCode(), "highContrast");
    EXPECT_TRUE(std::filesystem::is_empty(*capeStore.capesDirectory()));
}
