#pragma once

#include "platform/provider/WindowServerFunctions.h"
#include "providers/x11/X11Connection.h"

// The serial of the cursor on screen, kept from the server's notifications
// so that reading it costs no round trip (the seed watchdog reads it five
// times a second); only the first update asks the server.
class CursorSerial {
public:
    explicit CursorSerial(X11Connection& connection) : connection_(connection) {}

    // Takes in what the server has sent so far; false when it cannot be
    // known. After a round trip it covers every request made before.
    bool update();
    CGSCursorSeed last() const { return last_; }

private:
    void readNotifications(bool keepSerials);

    X11Connection& connection_;
    CGSCursorSeed last_ = 0;
    bool following_ = false;
};
