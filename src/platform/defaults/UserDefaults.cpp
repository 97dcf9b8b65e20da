#include "platform/defaults/UserDefaults.h"

#include "base/AppLog.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileChangeWatch.h"
#include "platform/files/FileIdentity.h"
#include "platform/files/UserDirectories.h"
#include "platform/prefs/PlistLibrary.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>

namespace {

using Node = std::unique_ptr<void, decltype(&plist_free)>;

// One lock for every instance: two stores may name the same file, and a
// read-modify-write must not interleave with another one.
std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Files already reported as unparseable, so a broken file read four times a
// second is logged once. Guarded by storeMutex().
std::set<std::string>& reportedFiles()
{
    static std::set<std::string> files;
    return files;
}

struct Contents {
    Node dictionary{plist_new_dict(), &plist_free};
    // The file exists but could not be read: writing would replace settings
    // we have never seen.
    bool unreadable = false;
    // The bytes of a file that could not be parsed, kept before it is replaced.
    std::optional<std::string> unparsedBytes;
};

bool exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool isBlank(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char c) { return std::isspace(c); });
}

void reportOnce(const std::string& path, const std::string& message)
{
    if (reportedFiles().insert(path).second)
        AppLog::warn(message);
}

Contents load(const std::string& path)
{
    Contents contents;
    if (!exists(path))
        return contents;
    std::optional<std::string> bytes = AtomicFile::read(path);
    if (!bytes) {
        contents.unreadable = true;
        reportOnce(path, "UserDefaults: cannot read " + path + "; its values are ignored and it is not overwritten");
        return contents;
    }
    if (isBlank(*bytes))
        return contents;
    plist_t root = PlistLibrary::fromMemory(bytes->data(), static_cast<uint32_t>(bytes->size()));
    Node parsed(root, &plist_free);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        contents.unparsedBytes = std::move(*bytes);
        reportOnce(path, "UserDefaults: cannot parse " + path +
                             "; its values are ignored and the next change keeps it as " + path + ".corrupt");
        return contents;
    }
    reportedFiles().erase(path);
    contents.dictionary = std::move(parsed);
    return contents;
}

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

template <typename Number>
std::optional<Number> parseWhole(const std::string& text)
{
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string stringValue(plist_t node)
{
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return std::string(text, length);
}

std::int64_t integerValue(plist_t node)
{
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<std::int64_t>(value);
}

double realValue(plist_t node)
{
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
}

bool boolValue(plist_t node)
{
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<bool> asBoolean(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN:
        return boolValue(node);
    case PLIST_UINT:
        return integerValue(node) != 0;
    case PLIST_REAL:
        return realValue(node) != 0;
    case PLIST_STRING: {
        std::string text = lowercase(stringValue(node));
        if (text == "true" || text == "yes" || text == "1")
            return true;
        if (text == "false" || text == "no" || text == "0")
            return false;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int64_t> asInteger(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_UINT:
        return integerValue(node);
    case PLIST_BOOLEAN:
        return boolValue(node) ? 1 : 0;
    case PLIST_REAL: {
        double value = std::trunc(realValue(node));
        // The bounds are powers of two, so they compare exactly.
        if (!(value >= -0x1p63 && value < 0x1p63))
            return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    case PLIST_STRING:
        return parseWhole<std::int64_t>(stringValue(node));
    default:
        return std::nullopt;
    }
}

std::optional<double> asReal(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_REAL:
        return realValue(node);
    case PLIST_UINT:
        return static_cast<double>(integerValue(node));
    case PLIST_BOOLEAN:
        return boolValue(node) ? 1.0 : 0.0;
    case PLIST_STRING:
        return parseWhole<double>(stringValue(node));
    default:
        return std::nullopt;
    }
}

// The dictionary each file held when it last parsed, valid while the file is
// the same file: reads far outnumber changes, and a poll reads every quarter
// second. Guarded by storeMutex().
struct ParsedFile {
    // Nothing for a file that does not exist.
    std::optional<FileIdentity> identity;
    Node dictionary{nullptr, &plist_free};
    // The file's version when it was last found to be this one.
    std::uint64_t version = 0;
};
std::map<std::string, ParsedFile>& parsedFiles()
{
    static std::map<std::string, ParsedFile> files;
    return files;
}

// Per file, a number that changes whenever its watch reports that it may
// have changed (no two files or changes share one): without the watch, a
// poll tick would look at the file on every read. Where nothing can be
// watched, every ask counts as a change. Guarded by storeMutex().
std::uint64_t currentVersion(const std::string& path)
{
    struct Watched {
        std::unique_ptr<FileChangeWatch> watch;
        std::uint64_t version = 0;
    };
    static std::map<std::string, Watched> files;
    static std::uint64_t changes = 0;
    Watched& file = files[path];
    if (!file.watch)
        file.watch = std::make_unique<FileChangeWatch>(path);
    if (file.watch->mayHaveChanged())
        file.version = ++changes;
    return file.version;
}

// The settings a file holds now; a file that does not parse is read (and
// reported) every time, like one that is missing. scratch holds what was
// read when it is not kept.
plist_t currentDictionary(const std::string& path, std::optional<Contents>& scratch)
{
    auto parsed = parsedFiles().find(path);
    std::uint64_t version = currentVersion(path);
    if (parsed != parsedFiles().end() && parsed->second.version == version)
        return parsed->second.dictionary.get();
    std::optional<FileIdentity> identity = FileIdentity::of(path);
    if (parsed != parsedFiles().end() && parsed->second.identity == identity) {
        parsed->second.version = version;
        return parsed->second.dictionary.get();
    }
    parsedFiles().erase(path);
    // Taken before the read: a file replaced meanwhile reads as changed next time.
    scratch = load(path);
    if ((identity && identity->isRecent()) || scratch->unreadable || scratch->unparsedBytes)
        return scratch->dictionary.get();
    auto& kept = parsedFiles()[path];
    kept.identity = identity;
    kept.dictionary = std::move(scratch->dictionary);
    kept.version = version;
    return kept.dictionary.get();
}

template <typename Result>
std::optional<Result> lookUp(const std::string& path, const std::string& key,
                             const std::function<std::optional<Result>(plist_t)>& convert)
{
    std::lock_guard lock(storeMutex());
    std::optional<Contents> scratch;
    plist_t node = plist_dict_get_item(currentDictionary(path, scratch), key.c_str());
    if (!node)
        return std::nullopt;
    return convert(node);
}

bool keepUnparsedFile(const std::string& path, const std::string& bytes)
{
    std::string kept = path + ".corrupt";
    if (!AtomicFile::write(kept, bytes, 0600)) {
        AppLog::error("UserDefaults: cannot keep unparseable " + path + " as " + kept + "; not saving");
        return false;
    }
    reportedFiles().erase(path);
    return true;
}

void save(const std::string& path, plist_t dictionary)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dictionary, &xml, &length);
    std::string bytes(xml ? xml : "", xml ? length : 0);
    PlistLibrary::freeSerialized(xml);
    if (!AtomicFile::write(path, bytes, 0600))
        AppLog::error("UserDefaults: cannot write " + path);
}

// Applies one change to the file under the lock, unless doing so would lose
// settings that could not be read.
void modify(const std::string& path, const std::string& key, const std::function<void(plist_t)>& change)
{
    std::lock_guard lock(storeMutex());
    Contents contents = load(path);
    if (contents.unreadable) {
        AppLog::error("UserDefaults: not saving key=" + key + " over unreadable " + path);
        return;
    }
    if (contents.unparsedBytes && !keepUnparsedFile(path, *contents.unparsedBytes))
        return;
    change(contents.dictionary.get());
    save(path, contents.dictionary.get());
}

}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults;
    return defaults;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

std::uint64_t UserDefaults::version() const
{
    std::string file = path();
    std::lock_guard lock(storeMutex());
    return currentVersion(file);
}

std::string UserDefaults::path() const
{
    if (!path_.empty())
        return path_;
    return UserDirectories::configHome() + "/tarnwick/com.tarnwick.app.plist";
}

bool UserDefaults::exists() const
{
    return ::exists(path());
}

bool UserDefaults::contains(const std::string& key) const
{
    return lookUp<bool>(path(), key, [](plist_t) { return std::optional<bool>(true); }).has_value();
}

std::optional<std::string> UserDefaults::string(const std::string& key) const
{
    return strings({key}).front();
}

std::vector<std::optional<std::string>> UserDefaults::strings(const std::vector<std::string>& keys) const
{
    std::string file = path();
    std::lock_guard lock(storeMutex());
    std::optional<Contents> scratch;
    plist_t dictionary = currentDictionary(file, scratch);
    std::vector<std::optional<std::string>> values;
    for (const auto& key : keys) {
        plist_t node = plist_dict_get_item(dictionary, key.c_str());
        bool isString = node && plist_get_node_type(node) == PLIST_STRING;
        values.push_back(isString ? std::optional(stringValue(node)) : std::nullopt);
    }
    return values;
}

std::optional<bool> UserDefaults::boolean(const std::string& key) const
{
    return lookUp<bool>(path(), key, asBoolean);
}

std::optional<std::int64_t> UserDefaults::integer(const std::string& key) const
{
    return lookUp<std::int64_t>(path(), key, asInteger);
}

std::optional<double> UserDefaults::real(const std::string& key) const
{
    return lookUp<double>(path(), key, asReal);
}

void UserDefaults::set(const std::string& key, const std::string& value)
{
    modify(path(), key, [&](plist_t dictionary) { plist_dict_set_item(dictionary, key.c_str(), plist_new_string(value.c_str())); });
}

void UserDefaults::set(const std::string& key, const char* value)
{
    set(key, std::string(value ? value : ""));
}

void UserDefaults::set(const std::string& key, bool value)
{
    modify(path(), key, [&](plist_t dictionary) { plist_dict_set_item(dictionary, key.c_str(), plist_new_bool(value)); });
}

void UserDefaults::set(const std::string& key, std::int64_t value)
{
    modify(path(), key, [&](plist_t dictionary) {
        plist_dict_set_item(dictionary, key.c_str(), plist_new_uint(static_cast<uint64_t>(value)));
    });
}

void UserDefaults::set(const std::string& key, double value)
{
    modify(path(), key, [&](plist_t dictionary) { plist_dict_set_item(dictionary, key.c_str(), plist_new_real(value)); });
}

void UserDefaults::remove(const std::string& key)
{
    std::string file = path();
    // Removing what is not there must not create the file.
    if (!contains(key))
        return;
    modify(file, key, [&](plist_t dictionary) { plist_dict_remove_item(dictionary, key.c_str()); });
}
