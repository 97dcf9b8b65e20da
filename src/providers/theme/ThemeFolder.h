#pragma once

#include "platform/desktopsettings/DesktopCursorTheme.h"
#include "providers/x11/CursorRecord.h"

#include <cstdint>
#include <map>
#include <string>
#include <system_error>
#include <vector>

// One of the program's decorated sets as a cursor theme folder under the
// user's icons folder: cursors/<X name> written with libXcursor for each
// registered cursor, the other X names of the same cursor as links to it,
// the same cursors in the scalable layout (ScalableCursor), and index.theme
// inheriting the user's theme so that every name the set does not replace
// still resolves. A stamp file holds a digest of the content, so a set
// already on disk is never written again.
class ThemeFolder {
public:
    // Every folder of the program's own starts with this.
    static constexpr const char* namePrefix = DesktopCursorTheme::ownPrefix;
    static constexpr const char* stampFile = "tarnwick-theme.stamp";

    ThemeFolder(std::string iconsFolder, std::string name);

    const std::string& name() const { return name_; }
    std::string path() const { return iconsFolder_ + "/" + name_; }

    // The digest of what write() would put on disk.
    static std::uint64_t digest(const std::string& inherits, const std::map<std::string, CursorRecord>& cursors,
                                const std::vector<int>& nominalSizes);
    bool holds(std::uint64_t digest) const;
    // Whether the folder was written completely, by this run or an earlier one.
    bool complete() const;

    // Builds the folder beside its place and swaps it in, so a toolkit never
    // reads half a theme. The error that stopped it, if any: the folder in
    // place is then the one there before.
    std::error_code write(const std::string& inherits, const std::map<std::string, CursorRecord>& cursors,
                          const std::vector<int>& nominalSizes, std::uint64_t digest) const;

    // A link in ~/.icons to the folder, made before a desktop is pointed at
    // it: libXcursor before 1.2.2, the X clients under XWayland that use it,
    // and Hyprland look for themes only there, not in the XDG data folder.
    // A user's own entry of the name is left alone (an error).
    std::error_code link() const;
    // Removes the links to the icons folder's themes, as the user's theme
    // comes back.
    static void unlinkAll(const std::string& iconsFolder);

    // Removes what a run killed while it wrote left beside the folders.
    static void removeLeftovers(const std::string& iconsFolder);

    // Removes the program's own folders (named with the prefix and holding a
    // stamp) for which stale(name) is true. Nothing else is ever touched.
    template <typename Predicate>
    static void removeStale(const std::string& iconsFolder, Predicate stale)
    {
        for (const auto& name : ownFolders(iconsFolder))
            if (stale(name))
                removeFolder(iconsFolder + "/" + name);
    }

private:
    // ~/.icons
    static std::string linksFolder();
    static std::vector<std::string> ownFolders(const std::string& iconsFolder);
    static void removeFolder(const std::string& path);
    std::error_code writeInto(const std::string& folder, const std::string& inherits,
                   const std::map<std::string, CursorRecord>& cursors, const std::vector<int>& nominalSizes) const;

    std::string iconsFolder_;
    std::string name_;
};
