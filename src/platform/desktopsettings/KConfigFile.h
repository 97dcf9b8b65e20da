#pragma once

#include <optional>
#include <string>
#include <vector>

// A KDE configuration file in KConfig's INI format, read the way KConfig
// reads it and changed one entry at a time: the entry's line is replaced,
// added to the end of its group, or the group is added to the end of the
// file, and every other line (comments, other groups and keys, their order)
// stays as it was. Values are escaped as KConfig escapes them, and the file
// is replaced atomically, through a link to it if it is one.
class KConfigFile {
public:
    explicit KConfigFile(std::string path) : path_(std::move(path)) {}

    // The value of the last entry of the key in the group; nothing when the
    // file has none.
    std::optional<std::string> read(const std::string& group, const std::string& key) const;
    // Sets the entry, or removes it for nothing.
    bool write(const std::string& group, const std::string& key, const std::optional<std::string>& value) const;

    static std::string escaped(const std::string& value);
    static std::string unescaped(const std::string& text);

private:
    struct Entry {
        // Line index of the entry, and of the last line of its group.
        std::optional<std::size_t> line;
        std::optional<std::size_t> groupEnd;
    };
    static std::vector<std::string> lines(const std::string& text);
    Entry find(const std::vector<std::string>& lines, const std::string& group, const std::string& key) const;

    std::string path_;
};
