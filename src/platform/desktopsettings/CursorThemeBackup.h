#pragma once

#include <optional>
#include <string>

// The theme name the user had before the program changed the desktop's
// setting, kept in a file while the change lasts so that a start after a
// crash can put it back: a binary property list {"cursor-theme": name},
// readable by the user only, written before the change and removed after the
// restore.
class CursorThemeBackup {
public:
    explicit CursorThemeBackup(std::string path) : path_(std::move(path)) {}

    // $XDG_DATA_HOME/Tarnwick/cursor_theme_backup.plist
    static std::string defaultPath();

    bool exists() const;
    // The stored name; nothing when the file is missing or damaged.
    std::optional<std::string> read() const;
    bool write(const std::string& theme) const;
    void remove() const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
