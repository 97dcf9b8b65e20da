#include "CapeTestSupport.h"
#include "RawBinaryPlist.h"

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "platform/graphics/PngCodec.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace CapeTestSupport;

namespace {

const std::string arrowName = "com.apple.coregraphics.Arrow";

// A PNG whose header claims width x height pixels; its image data is that
// of a 1 x 1 image, so only a reader that trusts the header allocates much.
std::string pngClaiming(std::uint32_t width, std::uint32_t height)
{
    std::string png = *PngCodec::encode(patternImage(1, 1).get());
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = static_cast<char>(width >> (24 - 8 * i));
        png[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    // The header chunk's checksum covers its type and data (bytes 12 to 28).
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    return png;
}

std::string flatPng(std::size_t width, std::size_t height)
{
    std::vector<std::uint32_t> pixels(width * height, 0x80402010u);
    auto image = CFRef<CGImageRef>::adopt(CGImageCreate(width, height, 8, 32, width * 4,
                                                        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host,
                                                        pixels.data(), pixels.size() * 4));
    return *PngCodec::encode(image.get());
}

std::string billionLaughs()
{
    RawBinaryPlist plist(1);
    std::size_t level = plist.string("x");
    for (int i = 0; i < 48; ++i)
        level = plist.array({level, level});
    std::size_t key = plist.string("Cursors");
    return plist.document(plist.dictionary({key}, {level}));
}

std::string deeplyNested(int depth)
{
    RawBinaryPlist plist(4);
    std::size_t level = plist.string("x");
    for (int i = 0; i < depth; ++i)
        level = plist.array({level});
    std::size_t key = plist.string("Cursors");
    return plist.document(plist.dictionary({key}, {level}));
}

class CapeBadInputTest : public ::testing::Test {
protected:
    CapeBadInputTest()
    {
        unsetenv("ORVELLE_ENABLE_LOGS");
        AppLog::testing::reset(logPath);
        store = std::make_unique<CursorCapeStore>();
    }

    std::string path() const { return home.applicationSupport() + "/Tarnwick/capes/com.tarnwick.en.system.cape"; }
    bool logged(const std::string& line)
    {
        AppLog::flush();
        return TempHome::readFile(logPath).find(line + "\n") != std::string::npos;
    }

    // The valid cape of the sample set, as the store writes it.
    std::string validCape()
    {
        EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
        return TempHome::readFile(path());
    }
    std::string editedCape(const std::function<void(plist_t root)>& change)
    {
        Node root = parse(validCape());
        change(root.get());
        return binary(root.get());
    }

    // The damaged file is refused with the line given, and the next save of
    // the set puts a cape there that loads.
    void expectRejectedThenRegenerated(const std::string& bytes, const std::string& line)
    {
        TempHome::writeFile(path(), bytes);
        EXPECT_FALSE(store->loadCape("en", "system"));
        EXPECT_TRUE(logged(line)) << line;
        EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
        auto reloaded = store->loadCape("en", "system");
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->size(), 2u);
    }

    std::string malformed() const { return "[ERROR] CursorCapeStore load failed: malformed plist " + path(); }
    std::string empty() const { return "[WARN] CursorCapeStore load result empty: " + path(); }
    std::string unreadable() const { return "[ERROR] CursorCapeStore load failed: unreadable file " + path(); }

    TempHome home;
    std::string logPath = home.path() + "/tarnwick.log";
    std::unique_ptr<CursorCapeStore> store;
};

}

TEST_F(CapeBadInputTest, TruncatedCapesAreMalformed)
{
    std::string valid = validCape();
    for (std::size_t length : {std::size_t{0}, std::size_t{6}, std::size_t{8}, valid.size() / 2, valid.size() - 33,
                               valid.size() - 1}) {
        SCOPED_TRACE(length);
        expectRejectedThenRegenerated(valid.substr(0, length), malformed());
    }
}

TEST_F(CapeBadInputTest, FilesOfOtherFormatsAreMalformed)
{
    expectRejectedThenRegenerated("{\"Cursors\": {}}", malformed());
    expectRejectedThenRegenerated(*PngCodec::encode(patternImage(8, 8).get()), malformed());
    expectRejectedThenRegenerated(std::string(4096, '\xA7'), malformed());
    expectRejectedThenRegenerated("bplist00" + std::string(64, '\0'), malformed());
    Node array(plist_new_array());
    expectRejectedThenRegenerated(xml(array.get()), malformed());
}

TEST_F(CapeBadInputTest, AnXmlFormOfACapeStillLoads)
{
    TempHome::writeFile(path(), xml(parse(validCape()).get()));
    auto loaded = store->loadCape("en", "system");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(pixelsOf(loaded->at(arrowName).images[1].get()), pixelsOf(patternImage(64, 64, 2).get()));
}

TEST_F(CapeBadInputTest, WrongTypesAreRejectedWhereTheyMatter)
{
    expectRejectedThenRegenerated(
        editedCape([](plist_t root) { plist_dict_set_item(root, "Cursors", plist_new_array()); }), malformed());
    expectRejectedThenRegenerated(
        editedCape([](plist_t root) { plist_dict_set_item(root, "Cursors", plist_new_string("all")); }), malformed());
    expectRejectedThenRegenerated(
        editedCape([](plist_t root) { plist_dict_remove_item(root, "Cursors"); }), malformed());
    expectRejectedThenRegenerated(
        editedCape([](plist_t root) {
            plist_dict_set_item(root, "OrvellePayloadVersion", plist_new_string("5"));
        }),
        "[WARN] CursorCapeStore load skipped: incompatible metadata com.tarnwick.en.system.cape");
    expectRejectedThenRegenerated(editedCape([](plist_t root) {
                                      plist_t cursors = plist_dict_get_item(root, "Cursors");
                                      for (const auto& name : keysOf(cursors)) {
                                          plist_t entry = plist_dict_get_item(cursors, name.c_str());
                                          plist_dict_set_item(entry, "Representations", plist_new_dict());
                                      }
                                  }),
                                  empty());
}

TEST_F(CapeBadInputTest, UndecodableAndEnormousImagesAreSkipped)
{
    auto withArrowImages = [this](std::vector<std::string> pngs) {
        return editedCape([&pngs](plist_t root) {
            plist_t cursors = plist_dict_get_item(root, "Cursors");
            plist_dict_remove_item(cursors, "com.apple.coregraphics.IBeam");
            plist_t representations = plist_new_array();
            for (const auto& png : pngs)
                plist_array_append_item(representations, plist_new_data(png.data(), png.size()));
            plist_dict_set_item(plist_dict_get_item(cursors, arrowName.c_str()), "Representations", representations);
        });
    };
    std::string png = *PngCodec::encode(patternImage(32, 32).get());
    expectRejectedThenRegenerated(withArrowImages({png.substr(0, png.size() / 2)}), empty());
    expectRejectedThenRegenerated(withArrowImages({std::string(png.size(), 'x')}), empty());
    expectRejectedThenRegenerated(withArrowImages({pngClaiming(100000, 100000)}), empty());
    expectRejectedThenRegenerated(withArrowImages({pngClaiming(0x7FFFFFFF, 1)}), empty());
    expectRejectedThenRegenerated(withArrowImages({flatPng(2049, 2049)}), empty());

    // An image at the limit is fine.
    TempHome::writeFile(path(), withArrowImages({flatPng(2048, 2048)}));
    auto loaded = store->loadCape("en", "system");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(CGImageGetWidth(loaded->at(arrowName).images[0].get()), 2048u);
}

TEST_F(CapeBadInputTest, ImagesBeyondTheCapesPixelBudgetAreSkipped)
{
    std::string large = flatPng(2000, 2000);
    TempHome::writeFile(path(), editedCape([&large](plist_t root) {
                            plist_t cursors = plist_new_dict();
                            for (int i = 0; i < 6; ++i) {
                                plist_t representations = plist_new_array();
                                plist_array_append_item(representations, plist_new_data(large.data(), large.size()));
                                plist_t entry = plist_new_dict();
                                plist_dict_set_item(entry, "Representations", representations);
                                plist_dict_set_item(cursors, ("com.apple.cursor." + std::to_string(i)).c_str(), entry);
                            }
                            plist_dict_set_item(root, "Cursors", cursors);
                        }));
    auto loaded = store->loadCape("en", "system");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->size(), CursorCapeStore::maxCapePixels / (2000 * 2000));
}

TEST_F(CapeBadInputTest, FilesThatCannotBeReadSafelyAreUnreadable)
{
    validCape();
    ASSERT_EQ(truncate(path().c_str(), static_cast<off_t>(CursorCapeStore::maxFileBytes) + 1), 0);
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(logged(unreadable()));
    EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(store->loadCape("en", "system"));

    // Reading a pipe would wait for a writer forever.
    std::filesystem::remove(path());
    ASSERT_EQ(mkfifo(path().c_str(), 0600), 0);
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(logged(unreadable()));
    EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_TRUE(store->loadCape("en", "system"));
}

TEST_F(CapeBadInputTest, DocumentsThatExplodeWhenParsedAreMalformed)
{
    validCape();
    expectRejectedThenRegenerated(billionLaughs(), malformed());
    expectRejectedThenRegenerated(deeplyNested(100000), malformed());
    std::string deepXml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Cursors</key>";
    for (int i = 0; i < 100000; ++i)
        deepXml += "<array>";
    expectRejectedThenRegenerated(deepXml, malformed());
}

TEST_F(CapeBadInputTest, DamagedCapeIsRewrittenByTheNextSaveOfTheSameSet)
{
    std::string valid = validCape();
    TempHome::writeFile(path(), valid.substr(0, 100));
    EXPECT_FALSE(store->loadCape("en", "system"));
    EXPECT_TRUE(store->saveCape("en", "system", sampleCursors()));
    EXPECT_EQ(TempHome::readFile(path()), valid) << "the set last saved is written again, not skipped as unchanged";
}
