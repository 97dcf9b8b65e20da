#pragma once

#include <string>

// A session bus of its own for one test program: a dbus-daemon with a
// minimal configuration (no activatable services, so nothing outside the
// test answers on it), stopped when the object goes away. Give its address
// to programs as DBUS_SESSION_BUS_ADDRESS. Any user may connect, so that a
// test running as root can talk to programs it runs as another.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool running() const { return pid_ > 0 && !address_.empty(); }
    const std::string& address() const { return address_; }

private:
    int pid_ = -1;
    std::string address_;
    std::string configPath_;
};
