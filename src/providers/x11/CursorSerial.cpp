#include "providers/x11/CursorSerial.h"

#include <X11/extensions/Xfixes.h>

#include <memory>

bool CursorSerial::update()
{
    if (following_) {
        readNotifications(true);
        return !connection_.lost();
    }
    Display* display = connection_.display();
    X11Connection::Trap trap(connection_);
    XFixesSelectCursorInput(display, connection_.root(), XFixesDisplayCursorNotifyMask);
    std::unique_ptr<XFixesCursorImage, int (*)(void*)> image(XFixesGetCursorImage(display), XFree);
    if ((image ? trap.finishAfterReply() : trap.finish()) != 0 || !image)
        return false;
    last_ = static_cast<CGSCursorSeed>(image->cursor_serial);
    // What arrived before the answer is older than it.
    readNotifications(false);
    following_ = true;
    return true;
}

void CursorSerial::readNotifications(bool keepSerials)
{
    Display* display = connection_.display();
    int cursorNotify = connection_.fixesEventBase() + XFixesCursorNotify;
    while (!connection_.lost() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (keepSerials && event.type == cursorNotify)
            last_ = static_cast<CGSCursorSeed>(reinterpret_cast<XFixesCursorNotifyEvent&>(event).cursor_serial);
    }
}
