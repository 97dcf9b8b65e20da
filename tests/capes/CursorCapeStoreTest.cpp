#include "CapeTestSupport.h"

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "runtime/CGSRuntime.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

using namespace CapeTestSupport;

namespace {

const std::string arrowName = "com.apple.coregraphics.Arrow";
const std::string beamName = "com.apple.coregraphics.IBeam";

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

class CursorCapeStoreTest : public ::testing::Test {
protected:
    CursorCapeStoreTest()
    {
        setenv("ORVELLE_VERBOSE", "1", 1);
        unsetenv("ORVELLE_ENABLE_LOGS");
        AppLog::testing::reset(logPath);
        store = std::make_unique<CursorCapeStore>();
    }

    std::string capes() const { return home.applicationSupport() + "/Tarnwick/capes"; }
    std::string capePath(const std::string& identifier) const { return capes() + "/" + identifier + ".cape"; }
    std::string enPath() const { return capePath("com.tarnwick.en.system"); }

    std::string log()
    {
        AppLog::flush();
        return TempHome::readFile(logPath);
    }
    bool logged(const std::string& line) { return log().find(line + "\n") != std::string::npos; }

    // Saves the sample set as en/system, then rewrites the file after change.
    void saveAndEdit(const std::function<void(plist_t root)>& change)
    {
        ASSERT_TRUE(store->saveCape("en", "system", sampleCursors()));
        Node root = parse(TempHome::readFile(enPath()));
        ASSERT_TRUE(root);
        change(root.get());
        TempHome::writeFile(enPath(), binary(root.get()));
    }

    TempHome home;
    std::string logPath = home.path() + "/tarnwick.log";
    std::unique_ptr<CursorCapeStore> store;
};

plist_t cursorEntry(plist_t root, const std::string& identifier)
{
    return plist_dict_get_item(plist_dict_get_item(root, "Cursors"), identifier.c_str());
}

}

TEST(CursorCapeStoreNames, SanitizeComponentKeepsSafeCharactersAndCollapsesRuns)
{
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("EN"), "en");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("zh-Hans"), "zh-hans");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("pt_BR"), "pt_br");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("  ru  "), "ru");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("a / b"), "a-b");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("\u20AC\u20AC\u20AC"), "unknown");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("a--b"), "a--b");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("x\u20AC-y"), "x--y");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent(""), "unknown");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("--"), "unknown");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("v1.2"), "v1.2");
    // Only the Kelvin sign lowercases to a plain letter; other letters stay unusable.
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("\u212A"), "k");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("\u00C9t\u00E9"), "t");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("a\u0130b"), "a-b");
    // Bytes that are not UTF-8 are unusable characters too, never passed through.
    EXPECT_EQ(CursorCapeStore::sanitizeComponent(std::string("de\xff\xfe/x", 6)), "de-x");
    EXPECT_EQ(CursorCapeStore::sanitizeComponent("../../etc"), "..-..-etc");
}

TEST_F(CursorCapeStoreTest, DirectoryIsCreatedInApplicationSupport)
{
    ASSERT_TRUE(store->capesDirectory());
    EXPECT_EQ(*store->capesDirectory(), capes());
    EXPECT_TRUE(std::filesystem::is_directory(capes()));
    EXPECT_TRUE(logged("[INFO] CursorCapeStore directory ready: " + capes()));
}

TEST_F(CursorCapeStoreTest, SavedCapeIsNamedAfterItsCodesAndHoldsEveryField)
{
    auto cursors = sampleCursors();
    auto animated = snapshotWith({patternImage(24, 24), patternImage(24, 24, 5), patternImage(24, 24, 9)}, {24, 24},
                                 {12, 12}, 0, 0.125);
    cursors["com.apple.cursor.4"] = {animated, animated.images};

    auto path = store->saveCape("EN", "LetterBadge", cursors);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, capePath("com.tarnwick.en.letterbadge"));
    std::string bytes = TempHome::readFile(*path);
    ASSERT_TRUE(bytes.starts_with("bplist00"));

    Node root = parse(bytes);
    ASSERT_TRUE(root);
    EXPECT_EQ(keysOf(root.get()).size(), 12u);
    EXPECT_EQ(realOf(plist_dict_get_item(root.get(), "MinimumVersion")), 2.0);
    EXPECT_EQ(realOf(plist_dict_get_item(root.get(), "Version")), 2.0);
    EXPECT_EQ(realOf(plist_dict_get_item(root.get(), "CapeVersion")), 1.0);
    EXPECT_EQ(stringOf(plist_dict_get_item(root.get(), "Author")), "Tarnwick");
    EXPECT_EQ(plist_bool_val_is_true(plist_dict_get_item(root.get(), "Cloud")), 0);
    EXPECT_EQ(plist_bool_val_is_true(plist_dict_get_item(root.get(), "HiDPI")), 1);
    EXPECT_EQ(stringOf(plist_dict_get_item(root.get(), "Identifier")), "com.tarnwick.en.letterbadge");
    EXPECT_EQ(stringOf(plist_dict_get_item(root.get(), "CapeName")), "Orvelle EN letterbadge");
    EXPECT_EQ(uintOf(plist_dict_get_item(root.get(), "OrvellePayloadVersion")), 5u);
    EXPECT_EQ(stringOf(plist_dict_get_item(root.get(), "OrvelleLanguageCode")), "en");
    EXPECT_EQ(stringOf(plist_dict_get_item(root.get(), "OrvelleStyleCode")), "letterbadge");

    EXPECT_EQ(keysOf(plist_dict_get_item(root.get(), "Cursors")),
              (std::vector<std::string>{arrowName, beamName, "com.apple.cursor.4"}));
    plist_t arrow = cursorEntry(root.get(), arrowName);
    EXPECT_EQ(keysOf(arrow).size(), 7u);
    EXPECT_EQ(uintOf(plist_dict_get_item(arrow, "FrameCount")), 1u);
    EXPECT_EQ(realOf(plist_dict_get_item(arrow, "HotSpotX")), 4.5);
    EXPECT_EQ(realOf(plist_dict_get_item(arrow, "HotSpotY")), 3.0);
    EXPECT_EQ(realOf(plist_dict_get_item(arrow, "PointsWide")), 32.0);
    EXPECT_EQ(realOf(plist_dict_get_item(arrow, "PointsHigh")), 32.0);
    EXPECT_EQ(realOf(plist_dict_get_item(arrow, "FrameDuration")), 0.0);
    plist_t representations = plist_dict_get_item(arrow, "Representations");
    ASSERT_EQ(plist_array_get_size(representations), 2u);
    std::uint64_t length = 0;
    const char* png = plist_get_data_ptr(plist_array_get_item(representations, 0), &length);
    EXPECT_EQ(std::string(png, 8), "\x89PNG\r\n\x1a\n");

    plist_t wait = cursorEntry(root.get(), "com.apple.cursor.4");
    EXPECT_EQ(uintOf(plist_dict_get_item(wait, "FrameCount")), 3u) << "frame count 0 stores the image count";
    EXPECT_EQ(realOf(plist_dict_get_item(wait, "FrameDuration")), 0.125);

    auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    EXPECT_TRUE(logged("[INFO] CursorCapeStore saved " + *path + " cursors=3 bytes=" + std::to_string(bytes.size()) +
                       " hash=" + hex(CGSRuntime::fnv1a64(std::span(data, bytes.size())))));
}

TEST_F(CursorCapeStoreTest, LoadGivesBackThePixelsAndMetadataThatWereSaved)
{
    auto cursors = sampleCursors();
    // Another pixel layout on the way in; the store answers in the window server's own.
    std::vector<std::uint8_t> rgba(20 * 10 * 4);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        std::uint8_t alpha = static_cast<std::uint8_t>(i / 4 * 3);
        rgba[i] = alpha / 3, rgba[i + 1] = alpha, rgba[i + 2] = 0, rgba[i + 3] = alpha;
    }
    auto other = CFRef<CGImageRef>::adopt(
        CGImageCreate(20, 10, 8, 32, 80, kCGImageAlphaPremultipliedLast, rgba.data(), rgba.size()));
    auto hand = snapshotWith({other}, {20, 10}, {0.25, 9.75}, 7, 0.5);
    cursors["com.apple.coregraphics.PointingHand"] = {hand, hand.images};

    ASSERT_TRUE(store->saveCape("de", "dotBadge", cursors));
    // Past the file system's clock step the store answers from what it wrote;
    // a fresh store decodes the file. Both must give the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    auto remembered = store->loadCape("de", "dotBadge");
    auto decoded = CursorCapeStore().loadCape("de", "dotBadge");
    for (const auto& loaded : {remembered, decoded}) {
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->size(), cursors.size());
        for (const auto& [identifier, saved] : cursors) {
            SCOPED_TRACE(identifier);
            ASSERT_TRUE(loaded->count(identifier));
            const auto& payload = loaded->at(identifier);
            EXPECT_EQ(payload.snapshot.size.width, saved.first.size.width);
            EXPECT_EQ(payload.snapshot.size.height, saved.first.size.height);
            EXPECT_EQ(payload.snapshot.hotSpot.x, saved.first.hotSpot.x);
            EXPECT_EQ(payload.snapshot.hotSpot.y, saved.first.hotSpot.y);
            EXPECT_EQ(payload.snapshot.frameCount, saved.first.frameCount);
            EXPECT_EQ(payload.snapshot.frameDuration, saved.first.frameDuration);
            EXPECT_EQ(payload.images, payload.snapshot.images);
            ASSERT_EQ(payload.images.size(), saved.second.size());
            for (std::size_t i = 0; i < saved.second.size(); ++i) {
                CGImageRef image = payload.images[i].get();
                EXPECT_EQ(CGImageGetAlphaInfo(image), kCGImageAlphaPremultipliedFirst);
                EXPECT_EQ(pixelsOf(image), pixelsOf(saved.second[i].get())) << "image " << i;
            }
        }
    }
    EXPECT_EQ(remembered->at(arrowName).images[0].get(), cursors[arrowName].second[0].get())
        << "the cape in memory shares the images it was saved from";
    std::string path = capePath("com.tarnwick.de.dotbadge");
    std::string loadedLine = "[INFO] CursorCapeStore loaded " + path + " cursors=3 bytes=" +
                             std::to_string(std::filesystem::file_size(path)) + "\n";
    std::string text = log();
    EXPECT_NE(text.find(loadedLine), text.rfind(loadedLine)) << "from memory or from the file, the same line";
}

TEST_F(CursorCapeStoreTest, UnchangedSaveIsSkippedUntilTheFileIsGoneOrTheSetChanges)
{
    auto first = store->saveCape("en", "letterBadge", sampleCursors());
    ASSERT_TRUE(first);
    ino_t written = inodeOf(*first);

    EXPECT_EQ(store->saveCape("en", "letterBadge", sampleCursors()), first);
    EXPECT_EQ(inodeOf(*first), written) << "an unchanged cape is not written again";
    EXPECT_TRUE(logged("[DEBUG] CursorCapeStore save skipped: unchanged cape com.tarnwick.en.letterbadge"));

    std::filesystem::remove(*first);
    EXPECT_EQ(store->saveCape("en", "letterBadge", sampleCursors()), first);
    EXPECT_TRUE(std::filesystem::exists(*first));

    ino_t rewritten = inodeOf(*first);
    auto changed = sampleCursors();
    changed[arrowName].first.hotSpot.x = 5;
    EXPECT_EQ(store->saveCape("en", "letterBadge", changed), first);
    EXPECT_NE(inodeOf(*first), rewritten);
    EXPECT_EQ(store->loadCape("en", "letterBadge")->at(arrowName).snapshot.hotSpot.x, 5);

    // Each cape has its own record: another style is written, not skipped.
    EXPECT_TRUE(store->saveCape("en", "dotBadge", sampleCursors()));
    EXPECT_TRUE(std::filesystem::exists(capePath("com.tarnwick.en.dotbadge")));
}

TEST_F(CursorCapeStoreTest, ARepeatedLoadComesFromMemoryUntilTheFileIsReplaced)
{
    ASSERT_TRUE(store->saveCape("en", "system", sampleCursors()));
    // A file changed a moment ago is read again: a change within the file
    // system's clock step would not show.
    auto recent = store->loadCape("en", "system");
    ASSERT_TRUE(recent);
    EXPECT_NE(store->loadCape("en", "system")->at(arrowName).images, recent->at(arrowName).images);
    std::filesystem::last_write_time(enPath(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    auto first = store->loadCape("en", "system");
    auto again = store->loadCape("en", "system");
    ASSERT_TRUE(first && again);
    EXPECT_EQ(again->at(arrowName).images, first->at(arrowName).images) << "the same decoded images, not a re-read";
    std::string loadedLine = "[INFO] CursorCapeStore loaded " + enPath() + " cursors=2 bytes=" +
                             std::to_string(std::filesystem::file_size(enPath())) + "\n";
    std::string text = log();
    std::size_t lines = 0;
    for (auto at = text.find(loadedLine); at != std::string::npos; at = text.find(loadedLine, at + 1))
        ++lines;
    EXPECT_EQ(lines, 4u) << "a load from memory logs the line a read logs";

    saveAndEdit([](plist_t root) { plist_dict_set_item(cursorEntry(root, arrowName), "HotSpotX", plist_new_real(7)); });
    EXPECT_EQ(store->loadCape("en", "system")->at(arrowName).snapshot.hotSpot.x, 7);
    std::filesystem::remove(enPath());
    EXPECT_FALSE(store->loadCape("en", "system"));
}

TEST_F(CursorCapeStoreTest, RememberedEncodingsWriteTheBytesAFreshStoreWrites)
{
    auto changed = sampleCursors();
    changed[arrowName].second[1] = patternImage(64, 64, 9);
    ASSERT_TRUE(store->saveCape("en", "letterBadge", sampleCursors()));
    auto path = store->saveCape("en", "letterBadge", changed);
    ASSERT_TRUE(path);
    std::string remembered = TempHome::readFile(*path);

    std::filesystem::remove(*path);
    CursorCapeStore fresh;
    ASSERT_TRUE(fresh.saveCape("en", "letterBadge", changed));
    EXPECT_EQ(TempHome::readFile(*path), remembered);
    EXPECT_EQ(pixelsOf(store->loadCape("en", "letterBadge")->at(arrowName).images[1].get()),
              pixelsOf(changed[arrowName].second[1].get()));
}

TEST_F(CursorCapeStoreTest, ForeignOrOlderCapesAreRejectedAndLeftOnDisk)
{
    saveAndEdit([](plist_t root) { plist_dict_set_item(root, "OrvellePayloadVersion", plist_new_uint(4)); });
    std::string older = TempHome::readFile(enPath());
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(logged("[WARN] CursorCapeStore load skipped: incompatible metadata com.tarnwick.en.system.cape"));
    EXPECT_EQ(TempHome::readFile(enPath()), older);

    saveAndEdit([](plist_t root) { plist_dict_set_item(root, "OrvelleStyleCode", plist_new_string("letterbadge")); });
    EXPECT_FALSE(store->loadCape("en", "system"));
    saveAndEdit([](plist_t root) { plist_dict_set_item(root, "OrvelleLanguageCode", plist_new_string("ru")); });
    EXPECT_FALSE(store->loadCape("en", "system"));
    saveAndEdit([](plist_t root) { plist_dict_remove_item(root, "OrvellePayloadVersion"); });
    EXPECT_FALSE(store->loadCape("en", "system"));
    saveAndEdit([](plist_t root) { plist_dict_set_item(root, "OrvelleStyleCode", plist_new_uint(5)); });
    EXPECT_FALSE(store->loadCape("en", "system"));

    // Stored codes are compared after lowercasing, and the version in any numeric form.
    saveAndEdit([](plist_t root) {
        plist_dict_set_item(root, "OrvelleLanguageCode", plist_new_string("EN"));
        plist_dict_set_item(root, "OrvellePayloadVersion", plist_new_real(5.0));
    });
    EXPECT_TRUE(store->loadCape("en", "system"));

    // The next save of the set replaces the rejected file.
    saveAndEdit([](plist_t root) { plist_dict_set_item(root, "OrvellePayloadVersion", plist_new_uint(4)); });
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(store->loadCape("en", "system"));
}

TEST_F(CursorCapeStoreTest, MissingOrUnreadableNumbersFallBackToDefaults)
{
    saveAndEdit([](plist_t root) {
        plist_t arrow = cursorEntry(root, arrowName);
        plist_dict_remove_item(arrow, "PointsWide");
        plist_dict_set_item(arrow, "PointsHigh", plist_new_string("32"));
        plist_dict_remove_item(arrow, "FrameCount");
        plist_dict_set_item(arrow, "HotSpotX", plist_new_uint(7));
        plist_dict_set_item(arrow, "HotSpotY", plist_new_real(NAN));
        plist_dict_set_item(arrow, "FrameDuration", plist_new_bool(1));
        plist_t beam = cursorEntry(root, beamName);
        plist_dict_set_item(beam, "FrameCount", plist_new_uint(static_cast<std::uint64_t>(-3)));
        plist_dict_set_item(beam, "PointsWide", plist_new_real(INFINITY));
        plist_dict_set_item(beam, "HotSpotX", plist_new_uint(static_cast<std::uint64_t>(-2)));
        plist_dict_set_item(beam, "HotSpotY", plist_new_data("12", 2));
    });
    auto loaded = store->loadCape("en", "system");
    ASSERT_TRUE(loaded);
    const CursorSnapshot& arrow = loaded->at(arrowName).snapshot;
    EXPECT_EQ(arrow.size.width, 32.0) << "the first image's pixel width";
    EXPECT_EQ(arrow.size.height, 32.0) << "the first image's pixel height";
    EXPECT_EQ(arrow.frameCount, 2u) << "the number of decoded images";
    EXPECT_EQ(arrow.hotSpot.x, 7.0);
    EXPECT_EQ(arrow.hotSpot.y, 0.0);
    EXPECT_EQ(arrow.frameDuration, 1.0);
    const CursorSnapshot& beam = loaded->at(beamName).snapshot;
    EXPECT_EQ(beam.frameCount, 0u) << "negative counts become 0";
    EXPECT_EQ(beam.size.width, 16.0);
    EXPECT_EQ(beam.hotSpot.x, -2.0);
    EXPECT_EQ(beam.hotSpot.y, 0.0);
}

TEST_F(CursorCapeStoreTest, UnreadableRepresentationsAndEntriesAreSkipped)
{
    saveAndEdit([](plist_t root) {
        plist_t representations = plist_dict_get_item(cursorEntry(root, arrowName), "Representations");
        plist_array_set_item(representations, plist_new_data("not a png", 9), 0);
        plist_array_append_item(representations, plist_new_string("neither"));
        plist_dict_set_item(plist_dict_get_item(root, "Cursors"), "com.apple.cursor.9", plist_new_string("entry"));
        plist_t beam = cursorEntry(root, beamName);
        plist_dict_set_item(beam, "Representations", plist_new_data("x", 1));
    });
    auto loaded = store->loadCape("en", "system");
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->size(), 1u);
    const auto& arrow = loaded->at(arrowName);
    ASSERT_EQ(arrow.images.size(), 1u);
    EXPECT_EQ(pixelsOf(arrow.images[0].get()), pixelsOf(patternImage(64, 64, 2).get()));

    saveAndEdit([](plist_t root) {
        for (const auto& name : {arrowName, beamName})
            plist_dict_set_item(cursorEntry(root, name), "Representations", plist_new_array());
    });
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(logged("[WARN] CursorCapeStore load result empty: " + enPath()));
}

TEST_F(CursorCapeStoreTest, RemoveAllCapesDeletesOnlyCapeFiles)
{
    ASSERT_TRUE(store->saveCape("en", "letterBadge", sampleCursors()));
    ASSERT_TRUE(store->saveCape("ru", "letterBadge", sampleCursors()));
    TempHome::writeFile(capes() + "/notes.txt", "keep");
    TempHome::writeFile(capes() + "/old.capes", "keep");
    TempHome::writeFile(capes() + "/.cape", "keep");

    store->removeAllCapes();
    EXPECT_TRUE(logged("[INFO] CursorCapeStore removed 2 cached cape files"));
    EXPECT_FALSE(std::filesystem::exists(capePath("com.tarnwick.en.letterbadge")));
    EXPECT_FALSE(std::filesystem::exists(capePath("com.tarnwick.ru.letterbadge")));
    for (const char* kept : {"/notes.txt", "/old.capes", "/.cape"})
        EXPECT_TRUE(std::filesystem::exists(capes() + kept)) << kept;

    // The saved hashes are forgotten too: a file put in the cape's place is
    // replaced by the next save of the same set.
    TempHome::writeFile(capePath("com.tarnwick.en.letterbadge"), "stale");
    auto path = store->saveCape("en", "letterBadge", sampleCursors());
    ASSERT_TRUE(path);
    EXPECT_TRUE(TempHome::readFile(*path).starts_with("bplist00"));
}

TEST_F(CursorCapeStoreTest, NothingToSaveOrNothingThereIsReported)
{
    EXPECT_FALSE(store->saveCape("en", "system", {}));
    EXPECT_TRUE(logged("[WARN] CursorCapeStore save skipped: empty cursors payload"));

    CursorCapeStore::Cursors imageless;
    imageless[arrowName] = {snapshotWith({}, {32, 32}, {0, 0}), {}};
    imageless[beamName] = {snapshotWith({}, {16, 24}, {0, 0}), {CFRef<CGImageRef>()}};
    EXPECT_FALSE(store->saveCape("en", "system", imageless));
    EXPECT_TRUE(logged("[WARN] CursorCapeStore save skipped: no serializable cursor frames"));
    EXPECT_FALSE(std::filesystem::exists(enPath()));

    // A cursor without images is left out; the others are saved.
    auto cursors = sampleCursors();
    cursors["com.apple.cursor.2"] = imageless[arrowName];
    ASSERT_TRUE(store->saveCape("en", "system", cursors));
    EXPECT_EQ(store->loadCape("en", "system")->size(), 2u);

    EXPECT_FALSE(store->loadCape("fr", "system"));
    EXPECT_TRUE(logged("[INFO] CursorCapeStore load skipped: cape missing com.tarnwick.fr.system.cape"));
}

TEST_F(CursorCapeStoreTest, FailedWriteIsReportedAndNotRemembered)
{
    std::filesystem::create_directories(enPath() + "/occupied");
    EXPECT_FALSE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(logged("[ERROR] CursorCapeStore save failed: path=" + enPath() + " error=Is a directory"));
    EXPECT_FALSE(logged("[INFO] CursorCapeStore saved " + enPath()));

    std::filesystem::remove_all(enPath());
    EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(store->loadCape("en", "system"));
}

TEST_F(CursorCapeStoreTest, StoreWithoutDirectoryFailsEveryOperation)
{
    std::string blocked = home.path() + "/blocked";
    TempHome::writeFile(blocked, "a file where the folder should be");
    setenv("XDG_DATA_HOME", blocked.c_str(), 1);
    CursorCapeStore homeless;
    EXPECT_FALSE(homeless.capesDirectory());
    EXPECT_TRUE(logged("[ERROR] CursorCapeStore init failed: unable to create directory " + blocked +
                       "/Tarnwick/capes error=Not a directory"));

    EXPECT_FALSE(homeless.saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(logged("[ERROR] CursorCapeStore save failed: capes directory unavailable"));
    EXPECT_FALSE(homeless.loadCape("en", "system"));
    EXPECT_TRUE(logged("[ERROR] CursorCapeStore load failed: capes directory unavailable"));
    homeless.removeAllCapes();
    EXPECT_EQ(log().find("CursorCapeStore removed"), std::string::npos);
}

TEST_F(CursorCapeStoreTest, LoadsRacingSavesSeeWholeFiles)
{
    auto other = sampleCursors();
    other[arrowName].first.hotSpot = {9, 9};
    ASSERT_TRUE(store->saveCape("en", "system", sampleCursors()));

    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20; ++i)
            store->saveCape("en", "system", i % 2 ? sampleCursors() : other);
        done = true;
    });
    int loads = 0;
    while (!done || loads == 0) {
        auto loaded = store->loadCape("en", "system");
        ASSERT_TRUE(loaded);
        ASSERT_EQ(loaded->size(), 2u);
        double x = loaded->at(arrowName).snapshot.hotSpot.x;
        ASSERT_TRUE(x == 4.5 || x == 9) << x;
        ++loads;
    }
    writer.join();
}

TEST(CursorCapeStoreShared, SharedStoreIsMadeOnFirstUseInTheCurrentHome)
{
    TempHome home;
    CursorCapeStore& shared = CursorCapeStore::shared();
    EXPECT_EQ(&CursorCapeStore::shared(), &shared);
    EXPECT_EQ(shared.capesDirectory(), home.applicationSupport() + "/Tarnwick/capes");
}
