#pragma once

#include <map>
#include <optional>
#include <string>

// The themes the user had before the program changed the desktop's settings,
// kept in a file while the change lasts so that a start after a crash can put
// them back: a binary property list of one string per setting
// ({"cursor-theme": name} for GNOME's), readable by the user only, written
// before the change and removed after the restore.
class CursorThemeBackup {
public:
    using Themes = std::map<std::string, std::string>;

    explicit CursorThemeBackup(std::string path) : path_(std::move(path)) {}

    // $XDG_DATA_HOME/Tarnwick/cursor_theme_backup.plist
    static std::string defaultPath();

    bool exists() const;
    // The stored names; nothing when the file is missing or damaged.
    std::optional<Themes> read() const;
    bool write(const Themes& themes) const;
    void remove() const;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};
