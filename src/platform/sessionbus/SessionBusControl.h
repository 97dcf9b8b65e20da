#pragma once

#include "platform/sessionbus/ControlActions.h"
#include "platform/sessionbus/ControlState.h"

#include <memory>

// The running program on the session bus. Owning the name com.tarnwick.app
// makes it the session's one instance; at /com/tarnwick/app it answers the
// interface com.tarnwick.app: the methods Quit, Reapply, Restore (its result
// says whether the system cursors are back), SetStyle(s), SetLeftHanded(b)
// and CheckForUpdates, and the read-only properties Language ((ssss): code,
// badge text, name and source identifier), Style, LeftHanded and Styles, with
// org.freedesktop.DBus.Properties.PropertiesChanged when they change.
//
// A bad argument is answered with org.freedesktop.DBus.Error.InvalidArgs
// naming it, and nothing is done. Calls that arrive before the program hands
// in its actions wait for them; once it closes, they fail. Everything runs on
// the main thread, where this must be made.
class SessionBusControl {
public:
    static constexpr const char* serviceName = "com.tarnwick.app";
    static constexpr const char* objectPath = "/com/tarnwick/app";
    static constexpr const char* interfaceName = "com.tarnwick.app";

    enum class Claim {
        // This process owns the name.
        claimed,
        // Another process owns it: Tarnwick runs already.
        taken,
        // No session bus to ask.
        noBus,
    };

    // Connects to the session bus, if there is one, and asks for the name.
    SessionBusControl();
    ~SessionBusControl();
    SessionBusControl(const SessionBusControl&) = delete;
    SessionBusControl& operator=(const SessionBusControl&) = delete;

    Claim claim() const { return claim_; }

    // Answers the calls, those that waited first.
    void serve(ControlActions actions);
    // The state now; a change is announced once the calls are served.
    void publish(const ControlState& state);
    // The program is quitting: from now on calls fail, and the name goes
    // with the process.
    void close();

private:
    class Object;

    Claim claim_ = Claim::noBus;
    std::unique_ptr<Object> object_;
};
