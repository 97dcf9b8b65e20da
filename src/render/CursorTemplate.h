#pragma once

#include "platform/stockcursors/StockCursor.h"

// The stock cursor kind drawn for a cursor that has no snapshot of its own; it
// also tells the renderer where the badge goes. Cursors outside the three
// role lists have no template (an empty optional).
enum class CursorTemplate {
    arrow,
    iBeam,
    pointingHand,
};

// The desktop's stock cursor that a template is drawn from.
inline StockCursor::Shape stockShape(CursorTemplate cursorTemplate)
{
    switch (cursorTemplate) {
    case CursorTemplate::iBeam:
        return StockCursor::Shape::iBeam;
    case CursorTemplate::pointingHand:
        return StockCursor::Shape::pointingHand;
    case CursorTemplate::arrow:
        break;
    }
    return StockCursor::Shape::arrow;
}
