#include "platform/input/Iso639.h"

#include "base/AppLog.h"
#include "platform/files/AtomicFile.h"

#include <nlohmann/json.hpp>

#include <unordered_map>

namespace Iso639 {

namespace {

using Table = std::unordered_map<std::string, std::string>;

// ISO 639-2 holds every language that has a two-letter code, with both its
// terminology and bibliographic three-letter codes; 639-3 is the fallback.
const char* const tableFiles[][2] = {
    {"/usr/share/iso-codes/json/iso_639-2.json", "639-2"},
    {"/usr/share/iso-codes/json/iso_639-3.json", "639-3"},
};

std::optional<Table> loadTable(const char* path, const char* listName)
{
    std::optional<std::string> bytes = AtomicFile::read(path);
    if (!bytes)
        return std::nullopt;
    nlohmann::json document = nlohmann::json::parse(*bytes, nullptr, false);
    if (!document.is_object() || !document.contains(listName) || !document[listName].is_array())
        return std::nullopt;
    Table table;
    for (const auto& entry : document[listName]) {
        if (!entry.is_object() || !entry.contains("alpha_2") || !entry["alpha_2"].is_string())
            continue;
        std::string twoLetters = entry["alpha_2"].get<std::string>();
        for (const char* field : {"alpha_3", "bibliographic"})
            if (entry.contains(field) && entry[field].is_string())
                table.emplace(entry[field].get<std::string>(), twoLetters);
    }
    return table;
}

const Table& table()
{
    static const Table loaded = [] {
        for (const auto& [path, listName] : tableFiles)
            if (auto found = loadTable(path, listName))
                return *found;
        AppLog::warn("Input sources: no ISO 639 table in /usr/share/iso-codes/json; three-letter language codes are kept");
        return Table();
    }();
    return loaded;
}

}

std::string shortestCode(const std::string& code)
{
    auto found = table().find(code);
    return found == table().end() ? code : found->second;
}

}
