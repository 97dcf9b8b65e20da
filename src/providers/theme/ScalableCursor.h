#pragma once

#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorFrames.h"

#include <filesystem>
#include <system_error>

// A cursor in the scalable layout that GNOME 51 and later draw instead of
// Xcursor files: cursors_scalable/<X name>/ holds one SVG per frame and a
// metadata.json giving each frame's hot spot, nominal size and delay. The SVG
// carries the bitmap of the largest size, drawn at the nominal one, so the
// cursor stays sharp on a screen scaled by two; the shell renders it with
// librsvg, at the SVG's own width and height times the cursor size over the
// nominal size, and reads the hot spot in those same units. The cursor's
// other X names, the CSS names the shell asks for among them, are links to
// its folder.
namespace ScalableCursor {

inline constexpr const char* folderName = "cursors_scalable";

// The frames, drawn for framesSize, are shown at nominalSize: the Xcursor
// file's largest frames, so that nothing is drawn twice.
std::error_code write(const std::filesystem::path& scalableFolder, CursorNameMap::XNames xNames,
                      const CursorFrames& frames, int framesSize, int nominalSize);

// GNOME 51 reads no Inherits= line: a name the folder lacks would show the
// shell's built-in cursor. Each of the user's theme's scalable cursors the
// folder has no entry for is linked in instead, from the first of the XDG
// icon folders that holds that theme in the scalable layout.
void inherit(const std::filesystem::path& scalableFolder, const std::string& theme);

}
