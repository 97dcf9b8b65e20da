#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Binary property-list documents written object by object, for shapes the
// library never writes itself: shared objects that expand exponentially,
// nesting far deeper than any real file.
class RawBinaryPlist {
public:
    // References are written with this many bytes each.
    explicit RawBinaryPlist(int referenceSize) : referenceSize_(referenceSize) {}

    std::size_t string(const std::string& text) { return add(marker(0x5, text.size()) + text); }

    std::size_t array(const std::vector<std::size_t>& references)
    {
        return add(marker(0xA, references.size()) + referencesOf(references));
    }

    std::size_t dictionary(const std::vector<std::size_t>& keys, const std::vector<std::size_t>& values)
    {
        return add(marker(0xD, keys.size()) + referencesOf(keys) + referencesOf(values));
    }

    std::string document(std::size_t topObject) const
    {
        std::string bytes = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const auto& object : objects_) {
            offsets.push_back(bytes.size());
            bytes += object;
        }
        std::uint64_t tableOffset = bytes.size();
        for (std::uint64_t offset : offsets)
            bytes += bigEndian(offset, 8);
        bytes += std::string(6, '\0');
        bytes += static_cast<char>(8);
        bytes += static_cast<char>(referenceSize_);
        bytes += bigEndian(objects_.size(), 8) + bigEndian(topObject, 8) + bigEndian(tableOffset, 8);
        return bytes;
    }

private:
    std::size_t add(std::string object)
    {
        objects_.push_back(std::move(object));
        return objects_.size() - 1;
    }

    static std::string bigEndian(std::uint64_t value, int width)
    {
        std::string bytes;
        for (int shift = (width - 1) * 8; shift >= 0; shift -= 8)
            bytes += static_cast<char>((value >> shift) & 0xFF);
        return bytes;
    }

    static std::string marker(unsigned kind, std::size_t count)
    {
        if (count < 15)
            return std::string(1, static_cast<char>(kind << 4 | count));
        return std::string(1, static_cast<char>(kind << 4 | 0xF)) + static_cast<char>(0x13) + bigEndian(count, 8);
    }

    std::string referencesOf(const std::vector<std::size_t>& references) const
    {
        std::string bytes;
        for (std::size_t reference : references)
            bytes += bigEndian(reference, referenceSize_);
        return bytes;
    }

    int referenceSize_;
    std::vector<std::string> objects_;
};
