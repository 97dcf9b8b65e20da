#pragma once

#include "platform/provider/WindowServerFunctions.h"
#include "providers/x11/X11Connection.h"

#include <X11/extensions/Xfixes.h>

#include <chrono>
#include <memory>
#include <string>

// The cursor on screen as far as the provider knows it without asking: the
// serial and name XFixes announces with every change of it, and its pixels
// as last read. The seed watchdog reads the serial five times a second and a
// switch reads the pixels four times, so only what may have changed is asked
// for again; only the first update asks the server at all.
class CursorOnScreen {
public:
    explicit CursorOnScreen(X11Connection& connection) : connection_(connection) {}

    // Takes in the notifications that have arrived; false when the cursor on
    // screen cannot be followed.
    bool update();
    // The same once the server has done every request made so far: one round
    // trip when any is still open.
    bool settle();

    CGSCursorSeed serial() const { return serial_; }
    // The X name of the cursor on screen; empty when it has none.
    const std::string& name() const { return name_; }

    // The cursor on screen, settled; the pixels of the last reading when it
    // is still the cursor on screen and was read a moment ago. nullptr when
    // it cannot be read.
    const XFixesCursorImage* image();

private:
    struct FreeWithXFree {
        void operator()(void* data) const { XFree(data); }
    };

    bool read();
    // Those announced once the server had done the request numbered
    // sinceRequest (Xlib's numbering), or all.
    void readNotifications(unsigned long sinceRequest = 0);

    X11Connection& connection_;
    bool following_ = false;
    CGSCursorSeed serial_ = 0;
    std::string name_;
    std::unique_ptr<XFixesCursorImage, FreeWithXFree> image_;
    std::chrono::steady_clock::time_point readAt_;
};
