#pragma once

#include <X11/Xlib.h>

#include <map>
#include <string>

// A connection of the provider's to the X server. It never lets Xlib end the
// process: protocol errors are collected by a Trap and become failed calls,
// and a broken connection marks itself lost so that every later call fails
// without touching the display again. Errors are caught per display, so
// connections used by different threads do not share any handler state.
class X11Connection {
public:
    enum class Resources {
        // What the connection creates outlives it (cursors installed by name
        // must stay readable after the program exits).
        keptAfterClose,
        freedOnClose,
    };

    explicit X11Connection(Resources resources = Resources::keptAfterClose) : resources_(resources) {}
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Opens the display named by DISPLAY on first use; false when there is
    // none, it lacks XFixes 4, or the connection has been lost.
    bool usable();
    bool lost() const { return lost_; }

    Display* display() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    int number() const { return ConnectionNumber(display_); }
    bool hasXTest() const { return hasXTest_; }
    // Requests sent that the server is not yet known to have done.
    bool requestsOpen() const { return XNextRequest(display_) - 1 != XLastKnownRequestProcessed(display_); }
    int fixesEventBase() const { return fixesEventBase_; }
    // The name of an atom, asked of the server once; empty for None and for
    // an atom the server could not name.
    const std::string& atomName(Atom atom);

    // Collects the first X error of the requests made while it lives.
    // finish() waits for the server to process them (a round trip, unless
    // it is known to have done every request already) and returns that error
    // code (0 when none); a connection lost meanwhile counts as an error.
    class Trap {
    public:
        explicit Trap(X11Connection& connection);
        ~Trap();
        Trap(const Trap&) = delete;
        Trap& operator=(const Trap&) = delete;

        int finish();
        // The same, right after a request with a reply: the server has
        // already answered everything before it, so no extra round trip.
        int finishAfterReply();

    private:
        X11Connection& connection_;
        Trap* outer_;
        int error_ = 0;
        friend class X11Connection;
    };

private:
    bool open();
    // Xlib's hooks, in the implementation file.
    struct Hooks;
    friend struct Hooks;

    Resources resources_;
    Display* display_ = nullptr;
    bool lost_ = false;
    bool hasXTest_ = false;
    int fixesEventBase_ = 0;
    Trap* trap_ = nullptr;
    std::map<Atom, std::string> atomNames_;
};
