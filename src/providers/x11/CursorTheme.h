#pragma once

#include "providers/x11/CursorFrames.h"
#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

// The user's X cursor theme (XCURSOR_THEME, the Xcursor resources) at the
// user's cursor size (XcursorGetDefaultSize), searched like libXcursor does:
// the theme, the themes it inherits, then "default". Files are read once.
class CursorTheme {
public:
    explicit CursorTheme(Display* display);
    // A theme named by the desktop's own setting rather than the display's.
    CursorTheme(std::string name, int size);

    const std::string& name() const { return name_; }
    int size() const { return size_; }

    // Pixels per point of what the theme shows at the user's size, taken
    // from the nominal size it shows for the arrow.
    int pixelsPerPoint();

    // Every image the theme has for one X name: all nominal sizes, frames in
    // order; nullptr when the theme has none.
    const XcursorImages* images(const std::string& xName);

    // The first of the X names the theme has, as the program copies a cursor:
    // one image per whole number of pixels per point, at the user's size and
    // twice it, each padded into the square frame of the image shown at the
    // user's size; size and hot spot in points of that frame. Names the
    // user's own theme has come before names only "default" has.
    std::optional<CursorRecord> record(CursorNameMap::XNames xNames);

    // The frames X shows for the first of the X names the theme has, in the
    // same order of preference.
    std::optional<CursorFrames> frames(CursorNameMap::XNames xNames);

private:
    struct Loaded {
        std::unique_ptr<XcursorImages, decltype(&XcursorImagesDestroy)> images{nullptr, XcursorImagesDestroy};
        bool fromUserTheme = false;
    };

    std::optional<std::string> findFile(const std::string& theme, const std::string& xName, int depth) const;
    Loaded load(const std::string& xName) const;
    const Loaded& loaded(const std::string& xName);
    const XcursorImages* preferred(CursorNameMap::XNames xNames);

    std::string name_;
    int size_;
    std::map<std::string, Loaded> cache_;
    std::optional<int> pixelsPerPoint_;
};
