#pragma once

#include <X11/Xlib.h>

// The provider's own connection to the X server. It never lets Xlib end the
// process: protocol errors are collected by a Trap and become failed calls,
// and a broken connection marks itself lost so that every later call fails
// without touching the display again.
class X11Connection {
public:
    X11Connection() = default;
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

    // Collects the first X error of the requests made while it lives.
    // finish() waits for the server to process them and returns that error
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
        XErrorHandler previousHandler_;
        int error_ = 0;
        friend class X11Connection;
    };

private:
    bool open();
    static int onError(Display* display, XErrorEvent* event);
    static int onIOError(Display* display);
    static void onIOErrorExit(Display* display, void* connection);

    Display* display_ = nullptr;
    bool lost_ = false;
    bool hasXTest_ = false;
    Trap* trap_ = nullptr;
};
