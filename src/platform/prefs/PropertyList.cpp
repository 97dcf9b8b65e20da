#include "platform/prefs/PropertyList.h"

#include "platform/files/AtomicFile.h"
#include "platform/prefs/BinaryPlistWriter.h"
#include "platform/prefs/PropertyListBounds.h"
#include "platform/prefs/PlistLibrary.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

struct FreeWithC {
    void operator()(void* pointer) const { std::free(pointer); }
};
using CString = std::unique_ptr<char, FreeWithC>;

std::string_view stringOf(plist_t node)
{
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::string_view(text, length) : std::string_view();
}

std::string_view bytesOf(plist_t node)
{
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node, &length);
    return bytes ? std::string_view(bytes, length) : std::string_view();
}

// Calls visit(key, value) for each entry of a dictionary node until it
// returns false; tells whether every entry was visited.
template <typename Visit>
bool forEachEntry(plist_t dictionary, Visit visit)
{
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    if (!iterator)
        return true;
    bool complete = true;
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &rawKey, &value);
        CString key(rawKey);
        if (!value)
            break;
        if (!visit(std::string(key ? key.get() : ""), value)) {
            complete = false;
            break;
        }
    }
    std::free(iterator);
    return complete;
}

bool sameReal(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool sameNode(plist_t a, plist_t b)
{
    plist_type type = plist_get_node_type(a);
    if (type != plist_get_node_type(b))
        return false;
    switch (type) {
    case PLIST_BOOLEAN: {
        uint8_t x = 0, y = 0;
        plist_get_bool_val(a, &x);
        plist_get_bool_val(b, &y);
        return (x != 0) == (y != 0);
    }
    case PLIST_UINT: {
        uint64_t x = 0, y = 0;
        plist_get_uint_val(a, &x);
        plist_get_uint_val(b, &y);
        return x == y;
    }
    case PLIST_UID: {
        uint64_t x = 0, y = 0;
        plist_get_uid_val(a, &x);
        plist_get_uid_val(b, &y);
        return x == y;
    }
    case PLIST_REAL: {
        double x = 0, y = 0;
        plist_get_real_val(a, &x);
        plist_get_real_val(b, &y);
        return sameReal(x, y);
    }
    case PLIST_DATE: {
        int32_t xs = 0, xu = 0, ys = 0, yu = 0;
        plist_get_date_val(a, &xs, &xu);
        plist_get_date_val(b, &ys, &yu);
        return xs == ys && xu == yu;
    }
    case PLIST_STRING:
    case PLIST_KEY:
        return stringOf(a) == stringOf(b);
    case PLIST_DATA:
        return bytesOf(a) == bytesOf(b);
    case PLIST_ARRAY: {
        uint32_t count = plist_array_get_size(a);
        if (count != plist_array_get_size(b))
            return false;
        for (uint32_t i = 0; i < count; ++i)
            if (!sameNode(plist_array_get_item(a, i), plist_array_get_item(b, i)))
                return false;
        return true;
    }
    case PLIST_DICT:
        if (plist_dict_get_size(a) != plist_dict_get_size(b))
            return false;
        return forEachEntry(a, [b](const std::string& key, plist_t value) {
            plist_t other = plist_dict_get_item(b, key.c_str());
            return other && sameNode(value, other);
        });
    case PLIST_NONE:
        return true;
    default:
        // Types newer releases of the library added, which no file of ours holds.
        return false;
    }
}

}

PropertyList PropertyList::boolean(bool value)
{
    return PropertyList(plist_new_bool(value ? 1 : 0));
}

PropertyList PropertyList::integer(std::int64_t value)
{
    // The library keeps every integer as 64 bits and writes them back signed.
    return PropertyList(plist_new_uint(static_cast<uint64_t>(value)));
}

PropertyList PropertyList::real(double value)
{
    return PropertyList(plist_new_real(value));
}

PropertyList PropertyList::string(const std::string& value)
{
    return PropertyList(plist_new_string(value.c_str()));
}

PropertyList PropertyList::data(std::string_view bytes)
{
    return PropertyList(plist_new_data(bytes.data(), bytes.size()));
}

PropertyList PropertyList::array(std::vector<PropertyList> items)
{
    PropertyList result(plist_new_array());
    for (auto& item : items)
        result.append(std::move(item));
    return result;
}

PropertyList PropertyList::dictionary(const std::map<std::string, PropertyList>& entries)
{
    PropertyList result(plist_new_dict());
    for (const auto& [key, value] : entries)
        result.setValue(key, value);
    return result;
}

std::optional<PropertyList> PropertyList::parse(std::string_view bytes)
{
    // The library parses recursively and expands shared binary objects, so a
    // hostile or damaged document could exhaust the stack or memory.
    if (bytes.empty() || bytes.size() > UINT32_MAX || !PropertyListBounds::isSafeToParse(bytes))
        return std::nullopt;
    plist_t node = PlistLibrary::fromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (!node)
        return std::nullopt;
    return PropertyList(node);
}

PropertyList::Format PropertyList::formatOf(std::string_view bytes)
{
    bool binary = bytes.size() <= UINT32_MAX && plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return binary ? Format::binary : Format::xml;
}

std::optional<PropertyList> PropertyList::readFile(const std::string& path)
{
    auto bytes = AtomicFile::read(path, maxDocumentBytes);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes);
}

PropertyList::PropertyList(const PropertyList& other) : node_(plist_copy(other.node_)) {}

PropertyList::PropertyList(PropertyList&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}

PropertyList& PropertyList::operator=(PropertyList other) noexcept
{
    std::swap(node_, other.node_);
    return *this;
}

PropertyList::~PropertyList()
{
    if (node_)
        plist_free(node_);
}

PropertyList::Type PropertyList::type() const
{
    switch (plist_get_node_type(node_)) {
    case PLIST_BOOLEAN:
        return Type::boolean;
    case PLIST_UINT:
        return Type::integer;
    case PLIST_REAL:
        return Type::real;
    case PLIST_DATA:
        return Type::data;
    case PLIST_DATE:
        return Type::date;
    case PLIST_UID:
        return Type::uid;
    case PLIST_ARRAY:
        return Type::array;
    case PLIST_DICT:
        return Type::dictionary;
    default:
        break;
    }
    return Type::string;
}

std::optional<bool> PropertyList::boolValue() const
{
    switch (type()) {
    case Type::boolean: {
        uint8_t value = 0;
        plist_get_bool_val(node_, &value);
        return value != 0;
    }
    case Type::integer: {
        uint64_t value = 0;
        plist_get_uint_val(node_, &value);
        return value != 0;
    }
    case Type::real: {
        double value = 0;
        plist_get_real_val(node_, &value);
        return value != 0;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::string> PropertyList::stringValue() const
{
    if (plist_get_node_type(node_) != PLIST_STRING)
        return std::nullopt;
    return std::string(stringOf(node_));
}

std::optional<std::int64_t> PropertyList::integerValue() const
{
    if (type() != Type::integer)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node_, &value);
    return static_cast<std::int64_t>(value);
}

std::optional<double> PropertyList::realValue() const
{
    if (type() != Type::real)
        return std::nullopt;
    double value = 0;
    plist_get_real_val(node_, &value);
    return value;
}

std::optional<std::string_view> PropertyList::dataValue() const
{
    if (type() != Type::data)
        return std::nullopt;
    uint64_t length = 0;
    const char* bytes = plist_get_data_ptr(node_, &length);
    if (!bytes)
        return std::nullopt;
    return std::string_view(bytes, length);
}

std::vector<PropertyList> PropertyList::items() const
{
    std::vector<PropertyList> result;
    if (plist_get_node_type(node_) != PLIST_ARRAY)
        return result;
    uint32_t count = plist_array_get_size(node_);
    result.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        result.push_back(PropertyList(plist_copy(plist_array_get_item(node_, i))));
    return result;
}

void PropertyList::append(PropertyList item)
{
    if (plist_get_node_type(node_) == PLIST_ARRAY)
        plist_array_append_item(node_, std::exchange(item.node_, nullptr));
}

std::optional<PropertyList> PropertyList::value(const std::string& key) const
{
    if (plist_get_node_type(node_) != PLIST_DICT)
        return std::nullopt;
    plist_t item = plist_dict_get_item(node_, key.c_str());
    if (!item)
        return std::nullopt;
    return PropertyList(plist_copy(item));
}

void PropertyList::setValue(const std::string& key, PropertyList value)
{
    if (plist_get_node_type(node_) == PLIST_DICT)
        plist_dict_set_item(node_, key.c_str(), std::exchange(value.node_, nullptr));
}

void PropertyList::removeValue(const std::string& key)
{
    if (plist_get_node_type(node_) == PLIST_DICT && plist_dict_get_item(node_, key.c_str()))
        plist_dict_remove_item(node_, key.c_str());
}

std::map<std::string, PropertyList> PropertyList::entries() const
{
    std::map<std::string, PropertyList> result;
    if (plist_get_node_type(node_) != PLIST_DICT)
        return result;
    forEachEntry(node_, [&result](const std::string& key, plist_t value) {
        result.insert_or_assign(key, PropertyList(plist_copy(value)));
        return true;
    });
    return result;
}

std::vector<std::pair<std::string, PropertyList>> PropertyList::orderedEntries() const
{
    std::vector<std::pair<std::string, PropertyList>> result;
    if (plist_get_node_type(node_) != PLIST_DICT)
        return result;
    forEachEntry(node_, [&result](const std::string& key, plist_t value) {
        result.emplace_back(key, PropertyList(plist_copy(value)));
        return true;
    });
    return result;
}

std::string PropertyList::serialized(Format format) const
{
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == Format::binary)
        return BinaryPlistWriter::write(node_);
    plist_to_xml(node_, &bytes, &length);
    std::string result = bytes ? std::string(bytes, length) : std::string();
    PlistLibrary::freeSerialized(bytes);
    return result;
}

bool operator==(const PropertyList& a, const PropertyList& b)
{
    return sameNode(a.node_, b.node_);
}
