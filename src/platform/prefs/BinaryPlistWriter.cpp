#include "platform/prefs/BinaryPlistWriter.h"

#include <plist/plist.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// Seconds from the Unix epoch to the property lists' (2001-01-01).
constexpr double referenceDateOffset = 978307200.0;

void appendBigEndian(std::string& out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = bytes; i-- > 0;)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::size_t bytesFor(std::uint64_t value)
{
    return value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFFu ? 4 : 8;
}

std::string integerObject(std::uint64_t value, bool negative)
{
    std::size_t bytes = negative ? 8 : bytesFor(value);
    std::string out(1, static_cast<char>(0x10 | std::countr_zero(bytes)));
    appendBigEndian(out, value, bytes);
    return out;
}

// A marker with the count in its low nibble, or 0xF and the count as an
// integer object when it does not fit.
std::string counted(std::uint8_t marker, std::size_t count)
{
    if (count < 15)
        return std::string(1, static_cast<char>(marker | count));
    return std::string(1, static_cast<char>(marker | 0x0F)) + integerObject(count, false);
}

std::string realObject(std::uint8_t marker, double value)
{
    std::string out(1, static_cast<char>(marker));
    appendBigEndian(out, std::bit_cast<std::uint64_t>(value), 8);
    return out;
}

// One code point from UTF-8, U+FFFD for a byte that starts no valid sequence.
char32_t nextCodePoint(const std::string& text, std::size_t& at)
{
    auto byte = static_cast<unsigned char>(text[at++]);
    int following = byte >= 0xF0 && byte < 0xF5 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC2 ? 1 : 0;
    if (byte < 0x80 || following == 0)
        return byte < 0x80 ? byte : 0xFFFD;
    char32_t point = byte & (0x3F >> following);
    for (int i = 0; i < following; ++i) {
        if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80)
            return 0xFFFD;
        point = (point << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
    }
    return point;
}

// ASCII text as bytes, anything else as UTF-16 in big-endian order.
std::string stringObject(const std::string& text)
{
    bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return counted(0x50, text.size()) + text;
    std::string units;
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = nextCodePoint(text, at);
        if (point >= 0x10000) {
            point -= 0x10000;
            appendBigEndian(units, 0xD800 + (point >> 10), 2);
            point = 0xDC00 + (point & 0x3FF);
        }
        appendBigEndian(units, point, 2);
    }
    return counted(0x60, units.size() / 2) + units;
}

struct FreeWithC {
    void operator()(char* text) const { std::free(text); }
};

std::string keyText(char* raw)
{
    std::unique_ptr<char, FreeWithC> key(raw);
    return key ? key.get() : "";
}

// The encoding of a node that is not a collection, or nothing for an
// unknown type.
std::optional<std::string> scalarObject(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return std::string(1, value ? '\x09' : '\x08');
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return integerObject(value, static_cast<std::int64_t>(value) < 0);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return realObject(0x23, value);
    }
    case PLIST_DATE: {
        int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return realObject(0x33, seconds + microseconds / 1e6);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return stringObject(std::string(text ? text : "", text ? length : 0));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return counted(0x40, length) + std::string(bytes ? bytes : "", bytes ? length : 0);
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        std::size_t bytes = bytesFor(value);
        std::string out(1, static_cast<char>(0x80 | (bytes - 1)));
        appendBigEndian(out, value, bytes);
        return out;
    }
    default:
        return std::nullopt;
    }
}

}

std::string BinaryPlistWriter::write(const void* root)
{
    BinaryPlistWriter writer;
    std::size_t top = 0;
    // libplist takes its nodes as mutable even where it only reads them.
    if (!root || !writer.flatten(const_cast<void*>(root), top))
        return {};
    return writer.document();
}

bool BinaryPlistWriter::flatten(void* node, std::size_t& index)
{
    plist_type type = plist_get_node_type(node);
    if (type == PLIST_ARRAY || type == PLIST_DICT)
        return flattenCollection(node, index);
    std::optional<std::string> encoding = scalarObject(node);
    if (!encoding)
        return false;
    index = addValue(std::move(*encoding));
    return true;
}

bool BinaryPlistWriter::flattenCollection(void* node, std::size_t& index)
{
    index = objects_.size();
    objects_.emplace_back();
    std::vector<std::size_t> references;
    if (plist_get_node_type(node) == PLIST_ARRAY) {
        uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            if (!flatten(plist_array_get_item(node, i), references.emplace_back()))
                return false;
        }
        objects_[index].head = counted(0xA0, count);
    } else {
        std::vector<plist_t> values;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            references.push_back(addValue(stringObject(keyText(key))));
            values.push_back(value);
        }
        std::free(iterator);
        for (plist_t value : values) {
            if (!flatten(value, references.emplace_back()))
                return false;
        }
        objects_[index].head = counted(0xD0, values.size());
    }
    objects_[index].references = std::move(references);
    return true;
}

std::size_t BinaryPlistWriter::addValue(std::string encoding)
{
    auto [found, added] = values_.try_emplace(encoding, objects_.size());
    if (added)
        objects_.push_back(Object{std::move(encoding), {}});
    return found->second;
}

std::string BinaryPlistWriter::document() const
{
    std::size_t referenceSize = bytesFor(objects_.size());
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const Object& object : objects_) {
        offsets.push_back(out.size());
        out += object.head;
        for (std::size_t reference : object.references)
            appendBigEndian(out, reference, referenceSize);
    }
    std::uint64_t tableOffset = out.size();
    std::size_t offsetSize = bytesFor(tableOffset);
    for (std::uint64_t offset : offsets)
        appendBigEndian(out, offset, offsetSize);
    out.append(6, '\0');
    out += static_cast<char>(offsetSize);
    out += static_cast<char>(referenceSize);
    appendBigEndian(out, objects_.size(), 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, tableOffset, 8);
    return out;
}
