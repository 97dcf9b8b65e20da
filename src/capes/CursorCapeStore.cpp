#include "capes/CursorCapeStore.h"

#include "base/AppLog.h"
#include "base/Text.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/UserDirectories.h"
#include "platform/graphics/PngCodec.h"
#include "platform/prefs/PropertyList.h"
#include "platform/system/ProcessMemory.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

namespace {

constexpr std::uint64_t payloadVersion = 5;

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

std::optional<std::uint64_t> uintValue(const std::optional<PropertyList>& value)
{
    switch (value ? value->type() : PropertyList::Type::string) {
    case PropertyList::Type::integer: {
        // Binary property lists store signed integers.
        std::int64_t number = *value->integerValue();
        return number < 0 ? 0 : static_cast<std::uint64_t>(number);
    }
    case PropertyList::Type::real: {
        double number = *value->realValue();
        if (!std::isfinite(number))
            return std::nullopt;
        if (number <= 0)
            return 0;
        return number >= 0x1p64 ? UINT64_MAX : static_cast<std::uint64_t>(number);
    }
    case PropertyList::Type::boolean:
        return *value->boolValue() ? 1 : 0;
    default:
        return std::nullopt;
    }
}

// Non-finite values count as missing: nothing downstream can place a cursor
// at NaN or infinity.
std::optional<double> cgFloatValue(const std::optional<PropertyList>& value)
{
    switch (value ? value->type() : PropertyList::Type::string) {
    case PropertyList::Type::real: {
        double number = *value->realValue();
        return std::isfinite(number) ? std::optional(number) : std::nullopt;
    }
    case PropertyList::Type::integer:
        return static_cast<double>(*value->integerValue());
    case PropertyList::Type::boolean:
        return *value->boolValue() ? 1.0 : 0.0;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> stringValue(const std::optional<PropertyList>& value)
{
    return value ? value->stringValue() : std::nullopt;
}

std::optional<PropertyList> dictionaryItem(const PropertyList& dictionary, const char* key, PropertyList::Type type)
{
    std::optional<PropertyList> item = dictionary.value(key);
    return item && item->type() == type ? item : std::nullopt;
}

bool isCompatible(const PropertyList& root, const std::string& languageCode, const std::string& styleCode)
{
    auto language = stringValue(root.value("OrvelleLanguageCode"));
    auto style = stringValue(root.value("OrvelleStyleCode"));
    return uintValue(root.value("OrvellePayloadVersion")) == payloadVersion && language &&
           lowercased(*language) == languageCode && style && lowercased(*style) == styleCode;
}

// The images of a cursor entry's "Representations" that decode within the
// pixel budget left for the cape; the budget shrinks by what they use.
std::vector<CFRef<CGImageRef>> decodedRepresentations(const PropertyList& representations, std::size_t& pixelBudget)
{
    std::vector<CFRef<CGImageRef>> images;
    for (const PropertyList& item : representations.items()) {
        std::optional<std::string_view> bytes = item.dataValue();
        if (!bytes)
            continue;
        auto image = PngCodec::decode(*bytes, std::min(CursorCapeStore::maxImagePixels, pixelBudget));
        if (!image)
            continue;
        pixelBudget -= CGImageGetWidth(image.get()) * CGImageGetHeight(image.get());
        images.push_back(std::move(image));
    }
    return images;
}

// A cursor entry's payload, with the images its representations gave.
std::optional<CursorCapeStore::CursorPayload> payloadOf(const PropertyList& entry,
                                                        std::vector<CFRef<CGImageRef>> images)
{
    if (images.empty())
        return std::nullopt;
    CGImageRef first = images.front().get();
    auto number = [&entry](const char* key) { return cgFloatValue(entry.value(key)); };
    CursorSnapshot snapshot;
    snapshot.size = {number("PointsWide").value_or(static_cast<double>(CGImageGetWidth(first))),
                     number("PointsHigh").value_or(static_cast<double>(CGImageGetHeight(first)))};
    snapshot.hotSpot = {number("HotSpotX").value_or(0), number("HotSpotY").value_or(0)};
    snapshot.frameCount = uintValue(entry.value("FrameCount")).value_or(images.size());
    snapshot.frameDuration = number("FrameDuration").value_or(0);
    snapshot.images = images;
    return CursorCapeStore::CursorPayload{std::move(snapshot), std::move(images)};
}

std::optional<CursorCapeStore::CursorPayload> decodeCursorPayload(const PropertyList& entry, std::size_t& pixelBudget)
{
    std::optional<PropertyList> representations = dictionaryItem(entry, "Representations", PropertyList::Type::array);
    if (!representations)
        return std::nullopt;
    return payloadOf(entry, decodedRepresentations(*representations, pixelBudget));
}

// The images of written files that a load of them keeps within the pixel
// budget, as decoding them would give them.
std::vector<CFRef<CGImageRef>> writtenRepresentations(const std::vector<PngMemo::File>& files, std::size_t& pixelBudget)
{
    std::vector<CFRef<CGImageRef>> images;
    for (const PngMemo::File& file : files) {
        std::size_t pixels = CGImageGetWidth(file.image.get()) * CGImageGetHeight(file.image.get());
        if (pixels > std::min(CursorCapeStore::maxImagePixels, pixelBudget))
            continue;
        if (auto image = PngCodec::asDecoded(file.image.get())) {
            pixelBudget -= pixels;
            images.push_back(std::move(image));
        }
    }
    return images;
}

// The root dictionary of a property-list document, or nothing when the bytes
// are not one (or one too deeply nested or self-referencing to parse safely).
std::optional<PropertyList> parsedDictionary(const std::string& bytes)
{
    std::optional<PropertyList> root = PropertyList::parse(bytes);
    if (!root || root->type() != PropertyList::Type::dictionary)
        return std::nullopt;
    return root;
}

// Keys are set in the order the file has always had them: the document is
// written in insertion order, and an unchanged cape must stay byte-identical.
PropertyList cursorEntry(const CursorSnapshot& snapshot, const std::vector<PngMemo::File>& pngs)
{
    PropertyList representations = PropertyList::array();
    for (const auto& file : pngs)
        representations.append(PropertyList::data(*file.png));
    std::uint64_t frameCount = snapshot.frameCount ? snapshot.frameCount : pngs.size();
    PropertyList entry = PropertyList::dictionary();
    entry.setValue("FrameCount", PropertyList::integer(static_cast<std::int64_t>(frameCount)));
    entry.setValue("FrameDuration", PropertyList::real(snapshot.frameDuration));
    entry.setValue("HotSpotX", PropertyList::real(snapshot.hotSpot.x));
    entry.setValue("HotSpotY", PropertyList::real(snapshot.hotSpot.y));
    entry.setValue("PointsWide", PropertyList::real(snapshot.size.width));
    entry.setValue("PointsHigh", PropertyList::real(snapshot.size.height));
    entry.setValue("Representations", std::move(representations));
    return entry;
}

std::string upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

PropertyList capeRoot(const std::string& identifier, const std::string& language, const std::string& style,
                      PropertyList cursors)
{
    PropertyList root = PropertyList::dictionary();
    root.setValue("MinimumVersion", PropertyList::real(2.0));
    root.setValue("Version", PropertyList::real(2.0));
    root.setValue("CapeVersion", PropertyList::real(1.0));
    root.setValue("Author", PropertyList::string("Tarnwick"));
    root.setValue("Cloud", PropertyList::boolean(false));
    root.setValue("HiDPI", PropertyList::boolean(true));
    root.setValue("Identifier", PropertyList::string(identifier));
    root.setValue("CapeName", PropertyList::string("Orvelle " + upperCased(language) + " " + style));
    root.setValue("OrvellePayloadVersion", PropertyList::integer(payloadVersion));
    root.setValue("OrvelleLanguageCode", PropertyList::string(language));
    root.setValue("OrvelleStyleCode", PropertyList::string(style));
    root.setValue("Cursors", std::move(cursors));
    return root;
}

// A hash of everything a cape document is made of, for telling in memory
// whether a set is saved as it was last time.
std::uint64_t inputsHash(const CursorCapeStore::Cursors& cursors, const std::vector<std::vector<PngMemo::File>>& pngs)
{
    std::uint64_t hash = 0;
    auto mixHash = [&hash](std::uint64_t part) { hash = (hash ^ part) * 0x100000001b3ULL; };
    auto mix = [&mixHash](const void* data, std::size_t size) {
        mixHash(fastHash64(std::span(static_cast<const std::uint8_t*>(data), size)));
    };
    std::size_t index = 0;
    for (const auto& [identifier, cursor] : cursors) {
        const std::vector<PngMemo::File>& files = pngs[index++];
        const CursorSnapshot& snapshot = cursor.first;
        double numbers[] = {snapshot.frameDuration, snapshot.hotSpot.x, snapshot.hotSpot.y, snapshot.size.width,
                            snapshot.size.height};
        std::uint64_t counts[] = {snapshot.frameCount, files.size()};
        mix(identifier.data(), identifier.size());
        mix(numbers, sizeof numbers);
        mix(counts, sizeof counts);
        // The files' own hashes, worked out when they were encoded.
        for (const PngMemo::File& file : files)
            mixHash(file.pngHash);
    }
    return hash;
}

std::optional<std::string> binaryDocument(const PropertyList& root)
{
    std::string document = root.serialized(PropertyList::Format::binary);
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

    std::vector<const PngMemo::Images*> imageLists;
    for (const auto& cursor : cursors)
        imageLists.push_back(&cursor.second.second);
    std::vector<std::vector<PngMemo::File>> pngs = pngMemo_.encode(name.hashKey(), imageLists);
    const Document* document = documentFor(name, cursors, pngs);
    if (!document)
        return std::nullopt;
    const std::string& bytes = document->bytes;
    std::uint64_t hash = document->hash;

    std::optional<std::string> saved;
    queue_.sync([&] {
        auto last = lastSavedHashes_.find(name.hashKey());
        if (last != lastSavedHashes_.end() && last->second == hash && fileExists(name.path)) {
            AppLog::debug("CursorCapeStore save skipped: unchanged cape " + name.identifier);
            saved = name.path;
            return;
        }
        errno = 0;
        if (!AtomicFile::write(name.path, bytes)) {
            AppLog::error("CursorCapeStore save failed: path=" + name.path + " error=" + lastErrorDescription());
            return;
        }
        lastSavedHashes_[name.hashKey()] = hash;
        AppLog::info("CursorCapeStore saved " + name.path + " cursors=" + std::to_string(document->entryCount) +
                     " bytes=" + std::to_string(bytes.size()) + " hash=" + hexDigits(hash));
        saved = name.path;
        if (auto identity = FileIdentity::of(name.path); identity && identity->size == bytes.size())
            remember(name.path, *identity, document->written);
    });
    return saved;
}

// The same inputs make the same bytes: a set saved again as it was is not
// serialised and hashed again.
const CursorCapeStore::Document* CursorCapeStore::documentFor(const CapeName& name, const Cursors& cursors,
                                                              const std::vector<std::vector<PngMemo::File>>& pngs)
{
    std::uint64_t inputs = inputsHash(cursors, pngs);
    if (auto known = documents_.find(name.hashKey()); known != documents_.end() && known->second.inputs == inputs)
        return &known->second;

    // What a load of the file will give is made alongside, from the images
    // written rather than decoded from the file, so a cape in memory shares
    // its pixels with the sets that drew them.
    Document document;
    document.inputs = inputs;
    PropertyList entries = PropertyList::dictionary();
    std::size_t index = 0, pixelBudget = maxCapePixels;
    for (const auto& [identifier, cursor] : cursors) {
        const std::vector<PngMemo::File>& files = pngs[index++];
        if (files.empty())
            continue;
        PropertyList entry = cursorEntry(cursor.first, files);
        if (auto payload = payloadOf(entry, writtenRepresentations(files, pixelBudget)))
            document.written.emplace(identifier, std::move(*payload));
        entries.setValue(identifier, std::move(entry));
        ++document.entryCount;
    }
    if (document.entryCount == 0) {
        AppLog::warn("CursorCapeStore save skipped: no serializable cursor frames");
        return nullptr;
    }
    PropertyList root = capeRoot(name.identifier, name.language, name.style, std::move(entries));
    std::optional<std::string> bytes = binaryDocument(root);
    if (!bytes) {
        AppLog::error("CursorCapeStore save failed: property list serialization error");
        return nullptr;
    }
    document.hash = fnv1a64(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    document.bytes = std::move(*bytes);
    return &(documents_[name.hashKey()] = std::move(document));
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
        loadedCapes_.erase(name.path);
        AppLog::info("CursorCapeStore load skipped: cape missing " + fileName);
        return std::nullopt;
    }
    std::optional<FileIdentity> identity = FileIdentity::of(name.path);
    if (auto payloads = remembered(name.path, identity)) {
        AppLog::info("CursorCapeStore loaded " + name.path + " cursors=" + std::to_string(payloads->size()) +
                     " bytes=" + std::to_string(identity->size));
        return payloads;
    }
    auto payloads = readCape(name, fileName);
    // Taken before the read: a file replaced meanwhile reads as changed next time.
    std::lock_guard lock(loadedMutex_);
    if (payloads && identity && !identity->isRecent())
        loadedCapes_.insert_or_assign(name.path, LoadedCape{*identity, *payloads, true});
    else
        loadedCapes_.erase(name.path);
    return payloads;
}

// A file changed within the clock's step could keep its identity through a
// second change, so what is remembered of it counts only once it is older.
std::optional<std::map<std::string, CursorCapeStore::CursorPayload>>
CursorCapeStore::remembered(const std::string& path, const std::optional<FileIdentity>& identity)
{
    std::lock_guard lock(loadedMutex_);
    auto loaded = loadedCapes_.find(path);
    if (loaded == loadedCapes_.end() || !identity || loaded->second.identity != *identity || identity->isRecent())
        return std::nullopt;
    return loaded->second.payloads;
}

void CursorCapeStore::remember(const std::string& path, const FileIdentity& identity,
                               std::map<std::string, CursorPayload> payloads)
{
    if (payloads.empty())
        return;
    bool replacesDecoded = false;
    {
        std::lock_guard lock(loadedMutex_);
        auto known = loadedCapes_.find(path);
        replacesDecoded = known != loadedCapes_.end() && known->second.decoded;
        loadedCapes_.insert_or_assign(path, LoadedCape{identity, std::move(payloads), false});
    }
    // The pixels decoded from the file are freed once the apply that loaded
    // them lets go of them, in the middle of the heap, where they would stay
    // resident for good: a set decoded at start costs megabytes.
    if (replacesDecoded)
        queue_.after(1.0, [] { ProcessMemory::releaseFreePages(); });
}

std::optional<std::map<std::string, CursorCapeStore::CursorPayload>>
CursorCapeStore::readCape(const CapeName& name, const std::string& fileName)
{
    // Anything but a plain file (a pipe would block the read) counts as unreadable.
    std::optional<std::string> bytes = isRegularFile(name.path) ? AtomicFile::read(name.path, maxFileBytes)
                                                                 : std::nullopt;
    if (!bytes) {
        AppLog::error("CursorCapeStore load failed: unreadable file " + name.path);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }
    std::optional<PropertyList> root = parsedDictionary(*bytes);
    std::optional<PropertyList> cursors =
        root ? dictionaryItem(*root, "Cursors", PropertyList::Type::dictionary) : std::nullopt;
    if (!cursors) {
        AppLog::error("CursorCapeStore load failed: malformed plist " + name.path);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }
    if (!isCompatible(*root, name.language, name.style)) {
        AppLog::warn("CursorCapeStore load skipped: incompatible metadata " + fileName);
        forgetSavedHash(name.hashKey());
        return std::nullopt;
    }

    std::map<std::string, CursorPayload> payloads;
    std::size_t pixelBudget = maxCapePixels;
    // In file order: the pixel budget goes to the cursors that come first.
    for (const auto& [identifier, entry] : cursors->orderedEntries()) {
        if (entry.type() != PropertyList::Type::dictionary)
            continue;
        if (auto payload = decodeCursorPayload(entry, pixelBudget))
            payloads.insert_or_assign(identifier, std::move(*payload));
    }

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
    std::lock_guard lock(loadedMutex_);
    loadedCapes_.clear();
    pngMemo_.clear();
    documents_.clear();
}
