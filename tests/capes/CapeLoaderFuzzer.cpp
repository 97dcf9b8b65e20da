// libFuzzer entry for the cape loader: each input is written as a cape file
// and loaded. Built only with -DTARNWICK_FUZZ=ON by clang; see
// tests/capes/CMakeLists.txt. TARNWICK_CAPE_FUZZ_CORPUS=DIR writes valid
// capes into DIR first, to start the corpus from.

#include "CapeTestSupport.h"

#include "base/AppLog.h"
#include "capes/CursorCapeStore.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace CapeTestSupport;

namespace {

CursorCapeStore* store;
std::string capePath;

void writeFile(const std::string& path, const char* bytes, std::size_t size)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes, static_cast<std::streamsize>(size));
}

std::string readFile(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void writeCorpus(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    store->saveCape("en", "system", sampleCursors());
    std::string sample = readFile(capePath);
    writeFile(folder + "/sample.cape", sample.data(), sample.size());
    std::string asXml = xml(parse(sample).get());
    writeFile(folder + "/sample-xml.cape", asXml.data(), asXml.size());
    auto animated = snapshotWith({patternImage(24, 72, 1), patternImage(48, 144, 2)}, {24, 24}, {1, 2}, 3, 0.1);
    store->saveCape("en", "system", {{"com.apple.cursor.4", {animated, animated.images}}});
    std::string strip = readFile(capePath);
    writeFile(folder + "/animated.cape", strip.data(), strip.size());
}

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "cape loader handed out an unusable payload: %s\n", what);
        std::abort();
    }
}

}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static std::string home = (std::filesystem::temp_directory_path() / "tarnwick-fuzz-XXXXXX").string();
    mkdtemp(home.data());
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    setenv("ORVELLE_ENABLE_LOGS", "0", 1);
    AppLog::testing::reset(home + "/tarnwick.log");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    store = new CursorCapeStore();
    capePath = *store->capesDirectory() + "/com.tarnwick.en.system.cape";
    if (const char* corpus = std::getenv("TARNWICK_CAPE_FUZZ_CORPUS"))
        writeCorpus(corpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    writeFile(capePath, reinterpret_cast<const char*>(data), size);
    auto payloads = store->loadCape("en", "system");
    if (!payloads)
        return 0;
    std::size_t pixels = 0;
    require(!payloads->empty(), "empty set");
    for (const auto& [identifier, payload] : *payloads) {
        require(!payload.images.empty() && payload.images == payload.snapshot.images, "images");
        for (const auto& image : payload.images) {
            std::size_t count = CGImageGetWidth(image.get()) * CGImageGetHeight(image.get());
            require(count > 0 && count <= CursorCapeStore::maxImagePixels, "image size");
            pixels += count;
        }
    }
    require(pixels <= CursorCapeStore::maxCapePixels, "pixel budget");
    return 0;
}
