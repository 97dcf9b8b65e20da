#include "providers/x11/X11Connection.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
// For the per-display error hook; it defines min and max as macros.
#include <X11/Xlibint.h>
#undef min
#undef max

struct X11Connection::Hooks {
    static void add(X11Connection* connection);
    static void remove(X11Connection* connection);
    static X11Connection* owning(Display* display);
    static Bool onError(Display* display, XErrorEvent* event, xError* wire);
    static int onIOError(Display* display);
    static void onIOErrorExit(Display* display, void* connection);
};

namespace {

// The connection-loss handler is process-wide; it has to know every display
// of ours, whichever thread uses it. Never destroyed: a connection of another
// static object may close after this file's statics are gone.
std::mutex& openMutex = *new std::mutex;
std::vector<X11Connection*>& openConnections = *new std::vector<X11Connection*>;
XIOErrorHandler previousIOErrorHandler = nullptr;

}

void X11Connection::Hooks::add(X11Connection* connection)
{
    std::lock_guard lock(openMutex);
    openConnections.push_back(connection);
    XIOErrorHandler previous = XSetIOErrorHandler(onIOError);
    if (previous != onIOError)
        previousIOErrorHandler = previous;
}

void X11Connection::Hooks::remove(X11Connection* connection)
{
    std::lock_guard lock(openMutex);
    std::erase(openConnections, connection);
}

X11Connection* X11Connection::Hooks::owning(Display* display)
{
    std::lock_guard lock(openMutex);
    auto found = std::find_if(openConnections.begin(), openConnections.end(),
                              [display](X11Connection* connection) { return connection->display_ == display; });
    return found != openConnections.end() ? *found : nullptr;
}

Bool X11Connection::Hooks::onError(Display* display, XErrorEvent* event, xError*)
{
    // Runs on the thread that reads the display, the one whose trap it is.
    X11Connection* connection = owning(display);
    if (connection && connection->trap_ && connection->trap_->error_ == 0)
        connection->trap_->error_ = event->error_code;
    // Never handed on to the process-wide handler, which may end the process.
    return False;
}

int X11Connection::Hooks::onIOError(Display* display)
{
    if (X11Connection* connection = owning(display)) {
        connection->lost_ = true;
        return 0;
    }
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

void X11Connection::Hooks::onIOErrorExit(Display*, void* connection)
{
    // Returning here instead of exiting leaves the display inert; it is
    // never used again.
    static_cast<X11Connection*>(connection)->lost_ = true;
}

X11Connection::~X11Connection()
{
    // Closing talks to the server, which may have gone in the meantime; the
    // handlers must still know this display while it does.
    if (display_ && !lost_)
        XCloseDisplay(display_);
    Hooks::remove(this);
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
    int errorBase = 0, major = 0, minor = 0, ignored = 0;
    if (!XFixesQueryExtension(display, &fixesEventBase_, &errorBase) ||
        !XFixesQueryVersion(display, &major, &minor) || major < 4) {
        XCloseDisplay(display);
        return false;
    }
    hasXTest_ = XTestQueryExtension(display, &ignored, &ignored, &major, &minor);
    // The cursors installed by name belong to the connection that made them.
    // If the server freed them when the program exits, every client's view of
    // the current cursor would break until some window set a cursor again;
    // keeping them costs a few cursors per run.
    if (resources_ == Resources::keptAfterClose)
        XSetCloseDownMode(display, RetainTemporary);
    for (int code = 1; code < 256; ++code)
        XESetWireToError(display, code, Hooks::onError);
    display_ = display;
    XSetIOErrorExitHandler(display_, Hooks::onIOErrorExit, this);
    Hooks::add(this);
    return true;
}

X11Connection::Trap::Trap(X11Connection& connection) : connection_(connection), outer_(connection.trap_)
{
    connection_.trap_ = this;
}

X11Connection::Trap::~Trap()
{
    connection_.trap_ = outer_;
}

int X11Connection::Trap::finish()
{
    if (!connection_.lost_ && connection_.requestsOpen())
        XSync(connection_.display_, False);
    return finishAfterReply();
}

int X11Connection::Trap::finishAfterReply()
{
    if (connection_.lost_ && error_ == 0)
        error_ = BadImplementation;
    return error_;
}

const std::string& X11Connection::atomName(Atom atom)
{
    auto known = atomNames_.find(atom);
    if (known != atomNames_.end())
        return known->second;
    std::string name;
    if (atom != None) {
        Trap trap(*this);
        if (char* text = XGetAtomName(display_, atom)) {
            name = text;
            XFree(text);
        }
        trap.finishAfterReply();
    }
    return atomNames_.emplace(atom, std::move(name)).first->second;
}
