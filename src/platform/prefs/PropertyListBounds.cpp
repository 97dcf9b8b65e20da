#include "platform/prefs/PropertyListBounds.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace PropertyListBounds {

namespace {

bool isContainerTag(std::string_view name)
{
    return name == "array" || name == "dict";
}

// Every opening tag counts, wherever it stands, so the depth found here is
// never less than the depth the parser will reach.
bool xmlIsSafe(std::string_view text)
{
    int depth = 0;
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        std::string_view rest = text.substr(at);
        if (rest.starts_with("<!--") || rest.starts_with("<![CDATA[")) {
            std::string_view close = rest.starts_with("<!--") ? "-->" : "]]>";
            std::size_t end = text.find(close, at + 4);
            if (end == std::string_view::npos)
                return false;
            at = end + close.size();
            continue;
        }
        std::size_t end = text.find('>', at);
        if (end == std::string_view::npos)
            return false;
        std::string_view tag = text.substr(at + 1, end - at - 1);
        at = end + 1;
        if (tag.starts_with('?') || tag.starts_with('!'))
            continue;
        bool closing = tag.starts_with('/');
        if (closing)
            tag.remove_prefix(1);
        std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        if (!isContainerTag(name))
            continue;
        if (closing)
            depth = depth > 0 ? depth - 1 : 0;
        else if (!tag.ends_with('/') && ++depth > maxDepth)
            return false;
    }
    return true;
}

// The object table of a binary document: a trailer at the end locates an
// offset table, which locates each object; containers hold object references.
class BinaryDocument {
public:
    explicit BinaryDocument(std::string_view bytes) : bytes_(bytes) {}

    bool readTrailer()
    {
        constexpr std::size_t header = 8, trailer = 32;
        if (bytes_.size() < header + trailer)
            return false;
        std::size_t at = bytes_.size() - trailer;
        offsetSize_ = static_cast<unsigned char>(bytes_[at + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[at + 7]);
        auto count = number(at + 8, 8), top = number(at + 16, 8), table = number(at + 24, 8);
        if (!count || !top || !table || offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8)
            return false;
        objectCount_ = *count;
        topObject_ = *top;
        tableOffset_ = *table;
        return objectCount_ > 0 && topObject_ < objectCount_ && tableOffset_ >= header && tableOffset_ <= at &&
               objectCount_ <= (at - tableOffset_) / offsetSize_;
    }

    std::uint64_t objectCount() const { return objectCount_; }
    std::uint64_t topObject() const { return topObject_; }

    struct References {
        std::uint64_t at = 0;
        std::uint64_t count = 0;
    };

    // The references a container holds (none for other objects), or nothing
    // when the object lies outside the document.
    std::optional<References> referencesOf(std::uint64_t object) const
    {
        auto offset = number(tableOffset_ + object * offsetSize_, offsetSize_);
        if (!offset || *offset < 8 || *offset >= tableOffset_)
            return std::nullopt;
        auto marker = static_cast<unsigned char>(bytes_[*offset]);
        unsigned kind = marker >> 4;
        bool array = kind == 0xA || kind == 0xC, dictionary = kind == 0xD;
        if (!array && !dictionary)
            return References{};
        std::uint64_t at = *offset + 1, count = marker & 0xF;
        if (count == 0xF) {
            if (at >= bytes_.size())
                return std::nullopt;
            auto sizeMarker = static_cast<unsigned char>(bytes_[at]);
            std::size_t width = std::size_t{1} << (sizeMarker & 0xF);
            auto extended = (sizeMarker >> 4) == 0x1 && width <= 8 ? number(at + 1, width) : std::nullopt;
            if (!extended)
                return std::nullopt;
            count = *extended;
            at += 1 + width;
        }
        std::uint64_t room = at < tableOffset_ ? (tableOffset_ - at) / referenceSize_ : 0;
        std::uint64_t perEntry = dictionary ? 2 : 1;
        if (count > room / perEntry)
            return std::nullopt;
        return References{at, count * perEntry};
    }

    // Reads the next of the pending references and steps past it.
    std::optional<std::uint64_t> takeReference(References& pending) const
    {
        auto object = number(pending.at, referenceSize_);
        pending.at += referenceSize_;
        --pending.count;
        return object;
    }

private:
    std::optional<std::uint64_t> number(std::uint64_t at, std::size_t width) const
    {
        if (at > bytes_.size() || width > bytes_.size() - at)
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes_[at + i]);
        return value;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0, referenceSize_ = 0;
    std::uint64_t objectCount_ = 0, topObject_ = 0, tableOffset_ = 0;
};

// Walks the object graph depth first without recursion, remembering the
// height and expanded size of each finished object so that shared objects
// are measured once.
bool binaryIsSafe(std::string_view bytes)
{
    BinaryDocument document(bytes);
    if (!document.readTrailer())
        return false;
    enum class Mark : unsigned char { unseen, open, done };
    std::vector<Mark> marks(document.objectCount(), Mark::unseen);
    std::vector<int> heights(document.objectCount(), 0);
    std::vector<unsigned long> sizes(document.objectCount(), 0);

    struct Frame {
        std::uint64_t object;
        BinaryDocument::References pending;
        int height = 1;
        unsigned long size = 1;
    };
    std::vector<Frame> stack;

    // Adds a finished child to the container being walked; false when the
    // container grows too large.
    auto addChild = [&](int height, unsigned long size) {
        Frame& parent = stack.back();
        parent.height = std::max(parent.height, height + 1);
        parent.size += size;
        return parent.size <= maxExpandedObjects;
    };
    auto open = [&](std::uint64_t object) {
        auto references = document.referencesOf(object);
        if (!references)
            return false;
        marks[object] = Mark::open;
        stack.push_back(Frame{object, *references});
        return stack.size() <= static_cast<std::size_t>(maxDepth);
    };

    if (!open(document.topObject()))
        return false;
    for (;;) {
        Frame& frame = stack.back();
        if (frame.pending.count == 0) {
            Frame finished = frame;
            stack.pop_back();
            marks[finished.object] = Mark::done;
            heights[finished.object] = finished.height;
            sizes[finished.object] = finished.size;
            if (stack.empty())
                return true;
            if (!addChild(finished.height, finished.size))
                return false;
            continue;
        }
        auto child = document.takeReference(frame.pending);
        if (!child || *child >= document.objectCount())
            return false;
        switch (marks[*child]) {
        case Mark::open:
            return false;
        case Mark::done:
            if (!addChild(heights[*child], sizes[*child]))
                return false;
            break;
        case Mark::unseen:
            if (!open(*child))
                return false;
            break;
        }
    }
}

}

bool isSafeToParse(std::string_view bytes)
{
    if (bytes.size() > UINT32_MAX)
        return false;
    if (plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())))
        return binaryIsSafe(bytes);
    return xmlIsSafe(bytes);
}

}
