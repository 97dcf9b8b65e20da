#pragma once

#include <X11/Xlib.h>

// A cursor another program made from the theme's files without giving it an
// X name, as Qt 6.5 and later do through libxcb-cursor. A change by name
// never reaches it; the server changes it by its XID, which its owner alone
// was told. XRes lists the owner's cursors, and XTest tells which of them a
// window shows, without changing anything.
class UnnamedCursor {
public:
    // The cursor of the window under the pointer (or of the nearest of its
    // ancestors that has one), when the program owning that window made it;
    // None when it is not found.
    static Cursor underPointer(Display* display, Window root);

private:
    static XID ownerOf(Display* display, Window window);
    static Cursor shownBy(Display* display, Window window, XID owner);
};
