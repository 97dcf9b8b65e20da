#include "capes/CursorCapeStore.h"

#include "base/AppLog.h"
#include "base/Text.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/UserDirectories.h"
#include "platform/graphics/PngCodec.h"
#include "platform/prefs/PropertyListBounds.h"

#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>

namespace {

constexpr std::uint64_t payloadVersion = 5;

struct FreeNode {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, FreeNode>;

// The file helpers report through errno; the one failure they leave it
// untouched for is a path that exists but is not a folder.
std::string lastErrorDescription()
{
    int code = errno ? errno : ENOTDIR;
    return std::error_code(code, std::generic_category()).message();
}

std::string hexDigits(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

bool isRegularFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool fileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The lower-case form of the character starting at `at`, when it is one
// ASCII character, and steps past it. Apart from A-Z only the Kelvin sign
// lowercases to ASCII; any other non-ASCII byte is passed over on its own,
// which is enough for callers that only keep ASCII.
std::optional<char> asciiLowercaseAt(std::string_view text, std::size_t& at)
{
    constexpr std::string_view kelvinSign = "\xE2\x84\xAA";
    if (text.substr(at).starts_with(kelvinSign)) {
        at += kelvinSign.size();
        return 'k';
    }
    auto byte = static_cast<unsigned char>(text[at++]);
    if (byte >= 0x80)
        return std::nullopt;
    return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : static_cast<char>(byte);
}

bool isComponentCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

// Reading values the way a number of any stored form is meant; a missing or
// unreadable value is nothing.

std::optional<std::uint64_t> uintValue(plist_t node)
{
    switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Binary property lists store signed integers.
        return static_cast<std::int64_t>(value) < 0 ? 0 : value;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        if (!std::isfinite(value))
            return std::nullopt;
        if (value <= 0)
            return 0;
        return value >= 0x1p64 ? UINT64_MAX : static_cast<std::uint64_t>(value);
    }
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? 1 : 0;
    }
    default:
        return std::nullopt;
    }
}

// Non-finite values count as missing: nothing downstream can place a cursor
// at NaN or infinity.
std::optional<double> cgFloatValue(plist_t node)
{
    switch (node ? plist_get_node_type(node) : PLIST_NONE) {
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return std::isfinite(value) ? std::optional(value) : std::nullopt;
    }
    case PLIST_UINT: {
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<double>(static_cast<std::int64_t>(value));
    }
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? 1.0 : 0.0;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> stringValue(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::optional<std::string>(std::string(text, length)) : std::nullopt;
}

plist_t dictionaryItem(plist_t dictionary, const char* key, plist_type type)
{
    plist_t item = plist_dict_get_item(dictionary, key);
    return item && plist_get_node_type(item) == type ? item : nullptr;
}

bool isCompatible(plist_t root, const std::string& languageCode, const std::string& styleCode)
{
    auto language = stringValue(plist_dict_get_item(root, "OrvelleLanguageCode"));
    auto style = stringValue(plist_dict_get_item(root, "OrvelleStyleCode"));
    return uintValue(plist_dict_get_item(root, "OrvellePayloadVersion")) == payloadVersion && language &&
           lowercased(*language) == languageCode && style && lowercased(*style) == styleCode;
}

// The images of a cursor entry's "Representations" that decode within the
// pixel budget left for the cape; the budget shrinks by what they use.
std::vector<CFRef<CGImageRef>> decodedRepresentations(plist_t representations, std::size_t& pixelBudget)
{
    std::vector<CFRef<CGImageRef>> images;
    for (std::uint32_t i = 0; i < plist_array_get_size(representations); ++i) {
        plist_t item = plist_array_get_item(representations, i);
        if (!item || plist_get_node_type(item) != PLIST_DATA)
            continue;
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(item, &length);
        if (!bytes)
            continue;
        auto image = PngCodec::decode(std::string_view(bytes, length),
                                      std::min(CursorCapeStore::maxImagePixels, pixelBudget));
        if (!image)
            continue;
        pixelBudget -= CGImageGetWidth(image.get()) * CGImageGetHeight(image.get());
        images.push_back(std::move(image));
    }
    return images;
}

std::optional<CursorCapeStore::CursorPayload> decodeCursorPayload(plist_t entry, std::size_t& pixelBudget)
{
    plist_t representations = dictionaryItem(entry, "Representations", PLIST_ARRAY);
    if (!representations)
        return std::nullopt;
    std::vector<CFRef<CGImageRef>> images = decodedRepresentations(representations, pixelBudget);
    if (images.empty())
        return std::nullopt;

    CGImageRef first = images.front().get();
    auto number = [entry](const char* key) { return cgFloatValue(plist_dict_get_item(entry, key)); };
    CursorSnapshot snapshot;
    snapshot.size = {number("PointsWide").value_or(static_cast<double>(CGImageGetWidth(first))),
                     number("PointsHigh").value_or(static_cast<double>(CGImageGetHeight(first)))};
    snapshot.hotSpot = {number("HotSpotX").value_or(0), number("HotSpotY").value_or(0)};
    snapshot.frameCount = uintValue(plist_dict_get_item(entry, "FrameCount")).value_or(images.size());
    snapshot.frameDuration = number("FrameDuration").value_or(0);
    snapshot.images = images;
    return CursorCapeStore::CursorPayload{std::move(snapshot), std::move(images)};
}

// The root dictionary of a property-list document, or null when the bytes
// are not one (or one too deeply nested or self-referencing to parse safely).
Node parsedDictionary(const std::string& bytes)
{
    if (!PropertyListBounds::isSafeToParse(bytes))
        return nullptr;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    Node node(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT)
        return nullptr;
    return node;
}

std::vector<std::string> encodedImages(const std::vector<CFRef<CGImageRef>>& images)
{
    std::vector<std::string> files;
    for (const auto& image : images) {
        if (auto file = PngCodec::encode(image.get()))
            files.push_back(std::move(*file));
    }
    return files;
}

plist_t cursorEntry(const CursorSnapshot& snapshot, const std::vector<std::string>& pngs)
{
    plist_t representations = plist_new_array();
    for (const auto& png : pngs)
        plist_array_append_item(representations, plist_new_data(png.data(), png.size()));
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "FrameCount", plist_new_uint(snapshot.frameCount ? snapshot.frameCount : pngs.size()));
    plist_dict_set_item(entry, "FrameDuration", plist_new_real(snapshot.frameDuration));
    plist_dict_set_item(entry, "HotSpotX", plist_new_real(snapshot.hotSpot.x));
    plist_dict_set_item(entry, "HotSpotY", plist_new_real(snapshot.hotSpot.y));
    plist_dict_set_item(entry, "PointsWide", plist_new_real(snapshot.size.width));
    plist_dict_set_item(entry, "PointsHigh", plist_new_real(snapshot.size.height));
    plist_dict_set_item(entry, "Representations", representations);
    return entry;
}

std::string upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

Node capeRoot(const std::string& identifier, const std::string& language, const std::string& style, plist_t cursors)
{
    Node root(plist_new_dict());
    plist_dict_set_item(root.get(), "MinimumVersion", plist_new_real(2.0));
    plist_dict_set_item(root.get(), "Version", plist_new_real(2.0));
    plist_dict_set_item(root.get(), "CapeVersion", plist_new_real(1.0));
    plist_dict_set_item(root.get(), "Author", plist_new_string("Tarnwick"));
    plist_dict_set_item(root.get(), "Cloud", plist_new_bool(0));
    plist_dict_set_item(root.get(), "HiDPI", plist_new_bool(1));
    plist_dict_set_item(root.get(), "Identifier", plist_new_string(identifier.c_str()));
    plist_dict_set_item(root.get(), "CapeName",
                        plist_new_string(("Orvelle " + upperCased(language) + " " + style).c_str()));
    plist_dict_set_item(root.get(), "OrvellePayloadVersion", plist_new_uint(payloadVersion));
    plist_dict_set_item(root.get(), "OrvelleLanguageCode", plist_new_string(language.c_str()));
    plist_dict_set_item(root.get(), "OrvelleStyleCode", plist_new_string(style.c_str()));
    plist_dict_set_item(root.get(), "Cursors", cursors);
    return root;
}

std::optional<std::string> binaryDocument(plist_t root)
{
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    if (!bytes)
        return std::nullopt;
    std::string document(bytes, length);
    plist_to_bin_free(bytes);
    return document.empty() ? std::nullopt : std::optional(std::move(document));
}

}

CursorCapeStore& CursorCapeStore::shared()
{
    static CursorCapeStore store;
    return store;
}

CursorCapeStore::CursorCapeStore() : queue_("com.tarnwick.cape.store")
{
    std::string support = UserDirectories::applicationSupport();
    if (support.empty()) {
        AppLog::error("CursorCapeStore init failed: Application Support directory unavailable");
        return;
    }
    std::string path = support + "/Tarnwick/capes";
    errno = 0;
    if (!AtomicFile::makeDirectories(path)) {
        AppLog::error("CursorCapeStore init failed: unable to create directory " + path +
                      " error=" + lastErrorDescription());
        return;
    }
    capesDirectory_ = path;
    AppLog::info("CursorCapeStore directory ready: " + path);
}

std::string CursorCapeStore::sanitizeComponent(std::string_view component)
{
    std::string result;
    bool lastWasReplacement = false;
    for (std::size_t at = 0; at < component.size();) {
        std::optional<char> character = asciiLowercaseAt(component, at);
        if (character && isComponentCharacter(*character)) {
            result += *character;
            lastWasReplacement = false;
        } else if (!lastWasReplacement) {
            result += '-';
            lastWasReplacement = true;
        }
    }
    std::size_t first = result.find_first_not_of('-');
    if (first == std::string::npos)
        return "unknown";
    return result.substr(first, result.find_last_not_of('-') - first + 1);
}

CursorCapeStore::CapeName CursorCapeStore::nameFor(const std::string& languageCode, const std::string& styleCode) const
{
    CapeName name;
    name.language = sanitizeComponent(languageCode);
    name.style = sanitizeComponent(styleCode);
    name.identifier = "com.tarnwick." + name.language + "." + name.style;
    name.path = capesDirectory_.value_or("") + "/" + name.identifier + ".cape";
    return name;
}

std::optional<std::string> CursorCapeStore::saveCape(const std::string& languageCode, const std::string& styleCode,
                                                     const Cursors& cursors)
{
    if (cursors.empty()) {
        AppLog::warn("CursorCapeStore save skipped: empty cursors payload");
        return std::nullopt;
    }
    if (!capesDirectory_) {
        AppLog::error("CursorCapeStore save failed: capes directory unavailable");
        return std::nullopt;
    }
    CapeName name = nameFor(languageCode, styleCode);

    Node entries(plist_new_dict());
    std::size_t entryCount = 0;
    for (const auto& [identifier, cursor] : cursors) {
        std::vector<std::string> pngs = encodedImages(cursor.second);
        if (pngs.empty())
            continue;
        plist_dict_set_item(entries.get(), identifier.c_str(), cursorEntry(cursor.first, pngs));
        ++entryCount;
    }
    if (entryCount == 0) {
        AppLog::warn("CursorCapeStore save skipped: no serializable cursor frames");
        return std::nullopt;
    }
    Node root = capeRoot(name.identifier, name.language, name.style, entries.release());
    std::optional<std::string> bytes = binaryDocument(root.get());
    if (!bytes) {
        AppLog::error("CursorCapeStore save failed: property list serialization error");
        return std::nullopt;
    }
    auto data = reinterpret_cast<const std::uint8_t*>(bytes->data());
    std::uint64_t hash = fnv1a64(std::span(data, bytes->size()));

    std::optional<std::string> saved;
    queue_.sync([&] {
        auto last = lastSavedHashes_.find(name.hashKey());
        if (last != lastSavedHashes_.end() && last->second == hash && fileExists(name.path)) {
            AppLog::debug("CursorCapeStore save skipped: unchanged cape " + name.identifier);
            saved = name.path;
            return;
        }
        errno = 0;
        if (!AtomicFile::write(name.path, *bytes)) {
            AppLog::error("CursorCapeStore save failed: path=" + name.path + " error=" + lastErrorDescription());
            return;
        }
        lastSavedHashes_[name.hashKey()] = hash;
        AppLog::info("CursorCapeStore saved " + name.path + " cursors=" + std::to_string(entryCount) +
                     " bytes=" + std::to_string(bytes->size()) + " hash=" + hexDigits(hash));
        saved = name.path;
    });
    return saved;
}

std::optional<std::map<std::string, CursorCapeStore::CursorPayload>>
CursorCapeStore::loadCape(const std::string& languageCode, const std::string& styleCode)
{
    if (!capesDirectory_) {
        AppLog::error("CursorCapeStore load failed: capes directory unavailable");
        return std::nullopt;
    }
    CapeName name = nameFor(languageCode, styleCode);
    std::string fileName = name.identifier + ".cape";
    if (!fileExists(name.path)) {
        AppLog::info("CursorCapeStore load skipped: cape missing " + fileName);
        return std::nullopt;
    }
    // Anything but a plain file (a pipe would block the read) counts as unreadable.
    std::optional<std::string> bytes = isRegularFile(name.path) ? AtomicFile::read(name.path, maxFileBytes)
                                                                 : std::nullopt;
    if (!bytes) {
        AppLog::error("CursorCapeStore load failed: unreadable file " + name.path);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }
    Node root = parsedDictionary(*bytes);
    plist_t cursors = root ? dictionaryItem(root.get(), "Cursors", PLIST_DICT) : nullptr;
    if (!cursors) {
        AppLog::error("CursorCapeStore load failed: malformed plist " + name.path);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }
    if (!isCompatible(root.get(), name.language, name.style)) {
        AppLog::warn("CursorCapeStore load skipped: incompatible metadata " + fileName);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }

    std::map<std::string, CursorPayload> payloads;
    std::size_t pixelBudget = maxCapePixels;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(cursors, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t entry = nullptr;
        plist_dict_next_item(cursors, iterator, &key, &entry);
        std::string identifier = key ? key : "";
        std::free(key);
        if (!entry)
            break;
        if (plist_get_node_type(entry) != PLIST_DICT)
            continue;
        if (auto payload = decodeCursorPayload(entry, pixelBudget))
            payloads.insert_or_assign(identifier, std::move(*payload));
    }
    std::free(iterator);

    if (payloads.empty()) {
        AppLog::warn("CursorCapeStore load result empty: " + name.path);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }
    AppLog::info("CursorCapeStore loaded " + name.path + " cursors=" + std::to_string(payloads.size()) +
                 " bytes=" + std::to_string(bytes->size()));
    return payloads;
}

// A cape that failed to load must be rewritten by the next save even when the
// set is the one last written: the file no longer holds it.
void CursorCapeStore::forgetSavedHash(const std::string& hashKey)
{
    queue_.async([this, hashKey] { lastSavedHashes_.erase(hashKey); });
}

void CursorCapeStore::removeAllCapes()
{
    queue_.sync([this] {
        if (!capesDirectory_)
            return;
        std::error_code error;
        std::vector<std::filesystem::path> capes;
        for (std::filesystem::directory_iterator entry(*capesDirectory_, error), end; !error && entry != end;
             entry.increment(error)) {
            if (entry->path().extension() == ".cape")
                capes.push_back(entry->path());
        }
        if (error)
            return;
        for (const auto& cape : capes)
            std::filesystem::remove(cape, error);
        lastSavedHashes_.clear();
        AppLog::info("CursorCapeStore removed " + std::to_string(capes.size()) + " cached cape files");
    });
}
