// Random mutations of valid capes, from a fixed seed, fed to the loader.
// TARNWICK_CAPE_FUZZ_ITERATIONS raises the count for a long run and
// TARNWICK_CAPE_FUZZ_SEED picks another sequence. A crash leaves the input
// that caused it in the temporary home printed at the start.

#include "CapeTestSupport.h"

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"
#include "platform/graphics/PngCodec.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QtGlobal>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>

using namespace CapeTestSupport;

namespace {

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

void collectNodes(plist_t node, std::vector<plist_t>& nodes)
{
    nodes.push_back(node);
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (std::uint32_t i = 0; i < plist_array_get_size(node); ++i)
            collectNodes(plist_array_get_item(node, i), nodes);
    } else if (plist_get_node_type(node) == PLIST_DICT) {
        for (const auto& key : keysOf(node))
            collectNodes(plist_dict_get_item(node, key.c_str()), nodes);
    }
}

class CapeMutator {
public:
    CapeMutator(std::uint64_t seed, std::vector<std::string> seeds) : random_(seed), seeds_(std::move(seeds)) {}

    std::string next()
    {
        const std::string& seed = seeds_[below(seeds_.size())];
        if (chance(0.4))
            return treeMutation(seed);
        std::string bytes = seed;
        for (std::size_t count = 1 + below(6); count > 0; --count)
            bytes = byteMutation(std::move(bytes));
        return bytes;
    }

private:
    std::size_t below(std::size_t bound) { return bound ? std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_) : 0; }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    char anyByte()
    {
        static constexpr unsigned char interesting[] = {0x00, 0x01, 0x0F, 0x10, 0x7F, 0x80, 0xFF, 0xF0, 0x13, 0x14, 0xAF, 0xDF};
        return static_cast<char>(chance(0.5) ? interesting[below(sizeof interesting)] : below(256));
    }
    std::string randomBytes(std::size_t maxLength)
    {
        std::string bytes(below(maxLength + 1), '\0');
        for (auto& byte : bytes)
            byte = anyByte();
        return bytes;
    }

    std::string byteMutation(std::string bytes)
    {
        if (bytes.empty())
            return randomBytes(64);
        // Most of a binary document's structure sits in its last few hundred bytes.
        std::size_t at = chance(0.5) ? bytes.size() - 1 - below(std::min<std::size_t>(bytes.size(), 400))
                                     : below(bytes.size());
        switch (below(7)) {
        case 0:
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << below(8)));
            break;
        case 1:
            bytes[at] = anyByte();
            break;
        case 2:
            bytes.resize(at);
            break;
        case 3:
            bytes.erase(at, 1 + below(64));
            break;
        case 4:
            bytes.insert(at, randomBytes(32));
            break;
        case 5: {
            std::size_t from = below(bytes.size());
            bytes.insert(at, bytes.substr(from, 1 + below(128)));
            break;
        }
        default: {
            const std::string& other = seeds_[below(seeds_.size())];
            bytes = bytes.substr(0, at) + other.substr(below(other.size()));
            break;
        }
        }
        return bytes;
    }

    std::string treeMutation(const std::string& seed)
    {
        Node root = parse(seed);
        if (!root)
            return seed;
        std::vector<plist_t> nodes;
        collectNodes(root.get(), nodes);
        for (std::size_t count = 1 + below(3); count > 0; --count) {
            if (nodes.size() < 2)
                break;
            plist_t node = nodes[1 + below(nodes.size() - 1)];
            if (plist_get_node_type(node) == PLIST_DATA && chance(0.7)) {
                std::string png = pngMutation(node);
                plist_set_data_val(node, png.data(), png.size());
            } else
                replace(node, chance(0.15) ? nullptr : randomValue());
            // The tree changed shape; later picks must not touch freed nodes.
            nodes.clear();
            collectNodes(root.get(), nodes);
        }
        return chance(0.1) ? xml(root.get()) : binary(root.get());
    }

    void replace(plist_t node, plist_t value)
    {
        plist_t parent = plist_get_parent(node);
        if (plist_get_node_type(parent) == PLIST_ARRAY) {
            std::uint32_t index = plist_array_get_item_index(node);
            if (value)
                plist_array_set_item(parent, value, index);
            else
                plist_array_remove_item(parent, index);
            return;
        }
        char* key = nullptr;
        plist_dict_get_item_key(node, &key);
        std::string name = key ? key : "";
        free(key);
        if (value)
            plist_dict_set_item(parent, name.c_str(), value);
        else
            plist_dict_remove_item(parent, name.c_str());
    }

    plist_t randomValue()
    {
        static constexpr double reals[] = {0.0, -1.0, 5.0, 1e308, -1e308, 1e-300, 0.5, 65536.0};
        static constexpr std::uint64_t integers[] = {0, 1, 4, 5, 6, UINT64_MAX, 1ull << 63, 1ull << 32, 100000};
        switch (below(9)) {
        case 0:
            return plist_new_uint(integers[below(std::size(integers))]);
        case 1:
            return plist_new_real(chance(0.3) ? (chance(0.5) ? NAN : INFINITY) : reals[below(std::size(reals))]);
        case 2:
            return plist_new_bool(chance(0.5));
        case 3:
            return plist_new_string(chance(0.5) ? "en" : "system");
        case 4: {
            std::string bytes = randomBytes(64);
            return plist_new_data(bytes.data(), bytes.size());
        }
        case 5:
            return plist_new_array();
        case 6:
            return plist_new_dict();
        case 7: {
            std::string png = pngOfRandomSize();
            plist_t array = plist_new_array();
            plist_array_append_item(array, plist_new_data(png.data(), png.size()));
            return array;
        }
        default:
            return plist_new_date(static_cast<std::int32_t>(below(1u << 30)), 0);
        }
    }

    std::string pngOfRandomSize()
    {
        return *PngCodec::encode(patternImage(1 + below(80), 1 + below(80), static_cast<unsigned>(below(100))).get());
    }

    // A change inside one chunk of a PNG with its checksum made right again, so
    // the decoder gets past the checksum and into the data.
    std::string pngMutation(plist_t node)
    {
        std::uint64_t length = 0;
        const char* data = plist_get_data_ptr(node, &length);
        std::string png(data, length);
        auto chunkSize = [&png](std::size_t at) {
            std::size_t size = 0;
            for (int i = 0; i < 4; ++i)
                size = size << 8 | static_cast<std::uint8_t>(png[at + i]);
            return size;
        };
        std::vector<std::size_t> chunks;
        for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + chunkSize(at))
            chunks.push_back(at);
        if (chunks.empty())
            return randomBytes(32);
        std::size_t chunk = chunks[below(chunks.size())];
        std::size_t end = std::min(png.size() - 4, chunk + 8 + chunkSize(chunk));
        std::size_t at = chance(0.2) ? chunk + below(4) : chunk + 8 + below(end - chunk - 8 + 1);
        if (at < png.size())
            png[at] = chance(0.5) ? anyByte() : static_cast<char>(png[at] ^ (1 << below(8)));
        if (end + 4 <= png.size()) {
            uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + chunk + 4), static_cast<uInt>(end - chunk - 4));
            for (int i = 0; i < 4; ++i)
                png[end + i] = static_cast<char>(crc >> (24 - 8 * i));
        }
        return png;
    }

    std::mt19937_64 random_;
    std::vector<std::string> seeds_;
};

// What a load hands out must be safe to register.
void expectUsable(const std::map<std::string, CursorCapeStore::CursorPayload>& payloads)
{
    std::size_t pixels = 0;
    ASSERT_FALSE(payloads.empty());
    for (const auto& [identifier, payload] : payloads) {
        ASSERT_FALSE(payload.images.empty()) << identifier;
        ASSERT_EQ(payload.images, payload.snapshot.images);
        EXPECT_TRUE(std::isfinite(payload.snapshot.size.width) && std::isfinite(payload.snapshot.size.height));
        EXPECT_TRUE(std::isfinite(payload.snapshot.hotSpot.x) && std::isfinite(payload.snapshot.hotSpot.y));
        EXPECT_TRUE(std::isfinite(payload.snapshot.frameDuration));
        for (const auto& image : payload.images) {
            std::size_t count = CGImageGetWidth(image.get()) * CGImageGetHeight(image.get());
            ASSERT_GT(count, 0u);
            ASSERT_LE(count, CursorCapeStore::maxImagePixels);
            pixels += count;
        }
    }
    EXPECT_LE(pixels, CursorCapeStore::maxCapePixels);
}

}

TEST(CapeFuzz, MutatedCapesAreRejectedOrLoadUsablePayloads)
{
    TempHome home;
    setenv("ORVELLE_ENABLE_LOGS", "0", 1);
    AppLog::testing::reset(home.path() + "/tarnwick.log");
    unsetenv("ORVELLE_ENABLE_LOGS");
    CursorCapeStore store;
    std::string path = *store.capesDirectory() + "/com.tarnwick.en.system.cape";

    std::vector<std::string> seeds;
    ASSERT_TRUE(store.saveCape("en", "system", sampleCursors()));
    seeds.push_back(TempHome::readFile(path));
    auto animated = snapshotWith({patternImage(24, 72, 1), patternImage(48, 144, 2)}, {24, 24}, {1, 2}, 3, 0.1);
    ASSERT_TRUE(store.saveCape("en", "system", {{"com.apple.cursor.4", {animated, animated.images}}}));
    seeds.push_back(TempHome::readFile(path));
    seeds.push_back(xml(parse(seeds[0]).get()));

    std::uint64_t seed = environmentNumber("TARNWICK_CAPE_FUZZ_SEED", 20261207);
    std::uint64_t iterations = environmentNumber("TARNWICK_CAPE_FUZZ_ITERATIONS", 1000);
    std::cout << "cape fuzz: seed " << seed << ", " << iterations << " iterations, inputs in " << path << std::endl;

    // The image reader complains about every damaged PNG; thousands of those
    // lines would bury the result.
    QtMessageHandler previousHandler = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    CapeMutator mutator(seed, seeds);
    std::uint64_t loaded = 0;
    double slowest = 0;
    auto started = std::chrono::steady_clock::now();
    for (std::uint64_t i = 0; i < iterations && !testing::Test::HasFatalFailure(); ++i) {
        TempHome::writeFile(path, mutator.next());
        auto before = std::chrono::steady_clock::now();
        auto payloads = store.loadCape("en", "system");
        slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count());
        if (payloads) {
            ++loaded;
            expectUsable(*payloads);
        }
    }
    qInstallMessageHandler(previousHandler);
    double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "cape fuzz: " << loaded << " loaded, " << iterations - loaded << " rejected in " << total
              << " s; slowest load " << slowest * 1000 << " ms" << std::endl;
    // Generous against a loaded machine and the sanitizers; a hang would be minutes.
    EXPECT_LT(slowest, 10.0);
}
