#include "providers/x11/PointerReentry.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <poll.h>

PointerReentry::~PointerReentry()
{
    if (window_ && !connection_.lost())
        XDestroyWindow(connection_.display(), window_);
}

PointerReentry::Outcome PointerReentry::run(const std::function<void()>& lookUnderPointer)
{
    if (!prepare())
        return Outcome::unavailable;
    Display* display = connection_.display();
    X11Connection::Trap trap(connection_);
    XSync(display, True);
    XMapRaised(display, window_);
    XSync(display, False);
    bool entered = waitForPointer(lookUnderPointer);
    XUnmapWindow(display, window_);
    bool finished = trap.finish() == 0;
    lookUnderPointer();
    if (!finished)
        return Outcome::unavailable;
    return entered ? Outcome::entered : Outcome::missed;
}

// Created once, with the first run: covering the whole screen, above
// everything, drawn fully transparent and showing no cursor.
bool PointerReentry::prepare()
{
    if (window_)
        return !connection_.lost();
    if (unusable_ || !connection_.usable())
        return false;
    Display* display = connection_.display();
    int screen = DefaultScreen(display);
    XVisualInfo visual{};
    if (!XMatchVisualInfo(display, screen, 32, TrueColor, &visual)) {
        unusable_ = true;
        return false;
    }
    X11Connection::Trap trap(connection_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.colormap = XCreateColormap(display, connection_.root(), visual.visual, AllocNone);
    attributes.event_mask = PointerMotionMask;
    Pixmap empty = XCreatePixmap(display, connection_.root(), 1, 1, 1);
    XColor black{};
    attributes.cursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
    window_ = XCreateWindow(display, connection_.root(), 0, 0, DisplayWidth(display, screen),
                            DisplayHeight(display, screen), 0, 32, InputOutput, visual.visual,
                            CWOverrideRedirect | CWColormap | CWBackPixel | CWBorderPixel | CWEventMask | CWCursor,
                            &attributes);
    // Window managers and compositors give a drag-and-drop window no focus,
    // frame or effect.
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom dnd = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DND", False);
    XChangeProperty(display, window_, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&dnd), 1);
    if (trap.finish() != 0) {
        unusable_ = true;
        return false;
    }
    return true;
}

bool PointerReentry::waitForPointer(const std::function<void()>& lookUnderPointer)
{
    using Clock = std::chrono::steady_clock;
    Display* display = connection_.display();
    auto deadline = Clock::now() + std::chrono::milliseconds(longestMilliseconds);
    auto nextLook = Clock::now();
    while (!connection_.lost()) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MotionNotify && event.xmotion.window == window_)
                return true;
        }
        auto now = Clock::now();
        if (now >= deadline)
            return false;
        // The compositor may not have the window yet at the first look.
        if (now >= nextLook) {
            lookUnderPointer();
            nextLook = now + std::chrono::milliseconds(askEveryMilliseconds);
        }
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(deadline, nextLook) - now).count();
        pollfd socket{connection_.number(), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(std::max<long>(wait, 1)));
    }
    return false;
}
