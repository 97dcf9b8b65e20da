#include "providers/x11/UnnamedCursor.h"

#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>

#include <vector>

Cursor UnnamedCursor::underPointer(Display* display, Window root)
{
    // The deepest window first: one that sets no cursor shows its parent's.
    std::vector<Window> windows;
    Window child = root;
    for (Window window = root; child != None; window = child) {
        Window rootBack = None;
        int rootX, rootY, x, y;
        unsigned int buttons;
        if (!XQueryPointer(display, window, &rootBack, &child, &rootX, &rootY, &x, &y, &buttons))
            return None;
        if (child != None)
            windows.insert(windows.begin(), child);
    }
    for (Window window : windows) {
        XID owner = ownerOf(display, window);
        if (Cursor cursor = owner ? shownBy(display, window, owner) : None; cursor != None)
            return cursor;
    }
    return None;
}

XID UnnamedCursor::ownerOf(Display* display, Window window)
{
    int count = 0;
    XResClient* clients = nullptr;
    if (!XResQueryClients(display, &count, &clients))
        return 0;
    XID owner = 0;
    for (int i = 0; i < count && !owner; ++i) {
        if ((window & ~clients[i].resource_mask) == clients[i].resource_base)
            owner = clients[i].resource_base;
    }
    XFree(clients);
    return owner;
}

Cursor UnnamedCursor::shownBy(Display* display, Window window, XID owner)
{
    // Asking for the type CURSOR alone answers nothing on some servers: every
    // resource of the owner is listed, and its cursors picked out.
    XResResourceIdSpec every{0, None};
    long count = 0;
    XResResourceSizeValue* sizes = nullptr;
    if (XResQueryResourceBytes(display, owner, 1, &every, &count, &sizes) != Success)
        return None;
    Atom cursorType = XInternAtom(display, "CURSOR", False);
    Cursor shown = None;
    for (long i = 0; i < count && shown == None; ++i) {
        const XResResourceIdSpec& resource = sizes[i].size.spec;
        if (resource.type == cursorType && XTestCompareCursorWithWindow(display, window, resource.resource))
            shown = resource.resource;
    }
    XResResourceSizeValuesDestroy(count, sizes);
    return shown;
}
