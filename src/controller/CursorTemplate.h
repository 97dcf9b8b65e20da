#pragma once

// The stock cursor kind drawn for a cursor that has no snapshot of its own; it
// also tells the renderer where the badge goes. Cursors outside the three
// role lists have no template (an empty optional).
enum class CursorTemplate {
    arrow,
    iBeam,
    pointingHand,
};
