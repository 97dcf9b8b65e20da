#pragma once

#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"

#include <filesystem>
#include <system_error>
#include <vector>

// A cursor in the scalable layout that GNOME 51 and later draw instead of
// Xcursor files: cursors_scalable/<X name>/ holds one SVG per frame and a
// metadata.json giving each frame's hot spot, nominal size and delay. The SVG
// carries the bitmap of the largest size, drawn at the nominal one, so the
// cursor stays sharp on a screen scaled by two; mutter renders SVG with
// librsvg, which takes an embedded PNG as it is. The cursor's other X names
// are links to its folder.
namespace ScalableCursor {

inline constexpr const char* folderName = "cursors_scalable";

// Nothing to write, and no error, when the record has no usable image.
std::error_code write(const std::filesystem::path& scalableFolder, CursorNameMap::XNames xNames,
                      const CursorRecord& record, const std::vector<int>& nominalSizes);

}
