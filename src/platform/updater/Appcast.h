#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// An update feed: an RSS document whose items each describe one release,
// with the version in the sparkle namespace, either as attributes of the
// item's enclosure or as elements of the item.
class Appcast {
public:
    struct Item {
        std::string title;
        // sparkle:version, the version the release compares by when it has
        // no shortVersionString.
        std::optional<std::string> version;
        // sparkle:shortVersionString, the version shown to people.
        std::optional<std::string> shortVersionString;
        std::optional<std::string> link;
        std::optional<std::string> enclosureURL;

        // What the release is compared and shown by; empty when it has none.
        std::string displayVersion() const;
        // The release notes page, else the download.
        std::optional<std::string> bestLink() const;
    };

    // The feed, or a sentence saying why the document is not one.
    static std::variant<Appcast, std::string> parse(std::string_view document);

    const std::vector<Item>& items() const { return items_; }
    const std::optional<std::string>& link() const { return link_; }

    // The item with the highest version, wherever it stands in the feed;
    // nothing when no item carries a version.
    std::optional<Item> newestItem() const;

private:
    std::vector<Item> items_;
    std::optional<std::string> link_;
};
