#pragma once

#include <string>
#include <vector>

// A session bus of its own for one test program: a dbus-daemon with a
// minimal configuration (only the services named are activatable, so nothing
// else outside the test answers on it), stopped when the object goes away.
// Give its address to programs as DBUS_SESSION_BUS_ADDRESS. Any user may
// connect, so that a test running as root can talk to programs it runs as
// another.
class PrivateSessionBus {
public:
    // Services by bus name, started from the system's own service files as
    // a desktop session's bus starts them.
    explicit PrivateSessionBus(const std::vector<std::string>& activatable = {});
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool running() const { return pid_ > 0 && !address_.empty(); }
    const std::string& address() const { return address_; }

private:
    int pid_ = -1;
    std::string address_;
    std::string serviceFolder_;
    std::string configPath_;
};
