#include "providers/x11/CursorOnScreen.h"

#include <poll.h>

namespace {

// An animated cursor keeps its serial while its frames change: a reading
// counts for no longer than this.
constexpr std::chrono::milliseconds readingLifetime{10};

}

bool CursorOnScreen::update()
{
    if (!following_) {
        // The first reading comes after the selection: from then on every
        // change is announced.
        X11Connection::Trap trap(connection_);
        XFixesSelectCursorInput(connection_.display(), connection_.root(), XFixesDisplayCursorNotifyMask);
        following_ = read();
        return following_;
    }
    readNotifications();
    return !connection_.lost();
}

bool CursorOnScreen::settle()
{
    // A reading is a round trip as well, and leaves the pixels behind.
    if (following_ && connection_.requestsOpen())
        return read();
    return update();
}

const XFixesCursorImage* CursorOnScreen::image()
{
    if (!settle())
        return nullptr;
    bool current = image_ && image_->cursor_serial == static_cast<unsigned long>(serial_) &&
                   std::chrono::steady_clock::now() - readAt_ < readingLifetime;
    if (!current && !read())
        return nullptr;
    return image_.get();
}

bool CursorOnScreen::read()
{
    X11Connection::Trap trap(connection_);
    unsigned long request = XNextRequest(connection_.display());
    std::unique_ptr<XFixesCursorImage, FreeWithXFree> image(XFixesGetCursorImage(connection_.display()));
    if ((image ? trap.finishAfterReply() : trap.finish()) != 0 || !image) {
        image_.reset();
        return false;
    }
    readAt_ = std::chrono::steady_clock::now();
    serial_ = static_cast<CGSCursorSeed>(image->cursor_serial);
    name_ = image->name ? image->name : "";
    image_ = std::move(image);
    readNotifications(request);
    return !connection_.lost();
}

void CursorOnScreen::readNotifications(unsigned long sinceRequest)
{
    Display* display = connection_.display();
    // Asked at every registration: a look at the socket costs less than
    // Xlib's attempt to read it.
    pollfd readable{connection_.number(), POLLIN, 0};
    if (XEventsQueued(display, QueuedAlready) == 0 && poll(&readable, 1, 0) == 0)
        return;
    int cursorNotify = connection_.fixesEventBase() + XFixesCursorNotify;
    while (!connection_.lost() && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        // One the server sent before it did the request is older than what
        // the request read.
        if (event.type != cursorNotify || event.xany.serial < sinceRequest)
            continue;
        const auto& shown = reinterpret_cast<const XFixesCursorNotifyEvent&>(event);
        serial_ = static_cast<CGSCursorSeed>(shown.cursor_serial);
        name_ = connection_.atomName(shown.cursor_name);
    }
}
