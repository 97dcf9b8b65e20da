#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One property-list value of any type (boolean, integer, real, string, data,
// date, UID, array, dictionary), owned by this object and copied deeply.
// Values read from a file are carried unchanged: what is not interpreted here
// is written back exactly as it was read.
class PropertyList {
public:
    enum class Type { boolean, integer, real, string, data, date, uid, array, dictionary };
    enum class Format { xml, binary };

    static PropertyList boolean(bool value);
    static PropertyList integer(std::int64_t value);
    static PropertyList real(double value);
    static PropertyList string(const std::string& value);
    static PropertyList data(std::string_view bytes);
    static PropertyList array(std::vector<PropertyList> items = {});
    static PropertyList dictionary(const std::map<std::string, PropertyList>& entries = {});

    // A document in either format, or nothing when it is malformed or nested
    // too deeply to be parsed safely.
    static std::optional<PropertyList> parse(std::string_view bytes);
    static Format formatOf(std::string_view bytes);
    // The document in the file, or nothing when the file is missing,
    // unreadable, larger than maxDocumentBytes or not a property list.
    static std::optional<PropertyList> readFile(const std::string& path);
    static constexpr std::size_t maxDocumentBytes = 16u << 20;

    PropertyList(const PropertyList& other);
    PropertyList(PropertyList&& other) noexcept;
    PropertyList& operator=(PropertyList other) noexcept;
    ~PropertyList();

    Type type() const;
    // Booleans, and numbers read the way a flag stored as a number is meant:
    // non-zero is true. Nothing for other types.
    std::optional<bool> boolValue() const;
    std::optional<std::string> stringValue() const;
    // Integers as stored: 64 bits, signed.
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> realValue() const;
    // The bytes of a data value, valid while this value lives unchanged.
    std::optional<std::string_view> dataValue() const;

    // Array access; other types have no items and ignore appends.
    std::vector<PropertyList> items() const;
    void append(PropertyList item);

    // Dictionary access; on other types lookups find nothing and changes are
    // ignored. A new key goes after the existing ones, and documents are
    // written in that order.
    std::optional<PropertyList> value(const std::string& key) const;
    void setValue(const std::string& key, PropertyList value);
    void removeValue(const std::string& key);
    std::map<std::string, PropertyList> entries() const;
    // The entries in document order.
    std::vector<std::pair<std::string, PropertyList>> orderedEntries() const;

    // The encoded document; empty if encoding failed.
    std::string serialized(Format format) const;

    friend bool operator==(const PropertyList& a, const PropertyList& b);

private:
    explicit PropertyList(void* node) : node_(node) {}

    void* node_;
};
