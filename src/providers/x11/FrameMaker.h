#pragma once

#include "providers/x11/CursorFrames.h"
#include "providers/x11/CursorNameMap.h"
#include "providers/x11/CursorRecord.h"
#include "providers/x11/CursorTheme.h"
#include "providers/x11/X11Connection.h"

#include <optional>

// The frames X shows for a registered cursor: at a whole number of pixels per
// point, within the largest cursor the server takes (asked once), and the
// theme's own frames for the X names when the record's are exactly those in
// their square, as when the program puts back what it copied: the windows
// then show the theme's cursor itself, not a padded copy.
class FrameMaker {
public:
    explicit FrameMaker(X11Connection& connection) : connection_(connection) {}

    std::optional<CursorFrames> make(const CursorRecord& record, CursorNameMap::XNames xNames, int pixelsPerPoint,
                                     CursorTheme& theme);

private:
    CursorFrames::Limit limit();

    X11Connection& connection_;
    std::optional<CursorFrames::Limit> limit_;
};
