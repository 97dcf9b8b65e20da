#include "providers/x11/X11Connection.h"

#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

namespace {

// Xlib's handlers are process-wide; only one provider connection exists.
X11Connection* openConnection = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

}

X11Connection::~X11Connection()
{
    // Closing talks to the server, which may have gone in the meantime; the
    // handlers must still know this display while it does.
    if (display_ && !lost_)
        XCloseDisplay(display_);
    if (openConnection == this)
        openConnection = nullptr;
}

bool X11Connection::usable()
{
    if (lost_)
        return false;
    return display_ || open();
}

bool X11Connection::open()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor) ||
        major < 4) {
        XCloseDisplay(display);
        return false;
    }
    hasXTest_ = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    // The cursors installed by name belong to this connection. If the server
    // freed them when the program exits, every client's view of the current
    // cursor would break until some window set a cursor again; keeping them
    // costs a few cursors per run.
    XSetCloseDownMode(display, RetainTemporary);
    display_ = display;
    openConnection = this;
    XSetIOErrorExitHandler(display_, onIOErrorExit, this);
    XIOErrorHandler previous = XSetIOErrorHandler(onIOError);
    if (previous != onIOError)
        previousIOErrorHandler = previous;
    return true;
}

int X11Connection::onError(Display* display, XErrorEvent* event)
{
    X11Connection* connection = openConnection;
    if (!connection || display != connection->display_ || !connection->trap_)
        return 0;
    Trap* trap = connection->trap_;
    if (trap->error_ == 0)
        trap->error_ = event->error_code;
    return 0;
}

int X11Connection::onIOError(Display* display)
{
    if (openConnection && display == openConnection->display_) {
        openConnection->lost_ = true;
        return 0;
    }
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

void X11Connection::onIOErrorExit(Display*, void* connection)
{
    // Returning here instead of exiting leaves the display inert; it is
    // never used again.
    static_cast<X11Connection*>(connection)->lost_ = true;
}

X11Connection::Trap::Trap(X11Connection& connection)
    : connection_(connection), outer_(connection.trap_), previousHandler_(XSetErrorHandler(onError))
{
    connection_.trap_ = this;
}

X11Connection::Trap::~Trap()
{
    connection_.trap_ = outer_;
    XSetErrorHandler(previousHandler_);
}

int X11Connection::Trap::finish()
{
    if (!connection_.lost_)
        XSync(connection_.display_, False);
    return finishAfterReply();
}

int X11Connection::Trap::finishAfterReply()
{
    if (connection_.lost_ && error_ == 0)
        error_ = BadImplementation;
    return error_;
}
