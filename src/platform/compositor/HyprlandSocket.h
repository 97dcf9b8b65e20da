#pragma once

#include "platform/compositor/UnixSocket.h"

#include <optional>
#include <string>

// Hyprland's sockets in $XDG_RUNTIME_DIR/hypr/<instance signature>/
// (/tmp/hypr/<signature>/ before Hyprland 0.40): .socket.sock takes one
// request per connection, as hyprctl sends it, and answers it;
// .socket2.sock sends every event as a line "NAME>>DATA".
class HyprlandSocket {
public:
    // The instance that started this session (HYPRLAND_INSTANCE_SIGNATURE).
    static std::string instanceFromEnvironment();

    explicit HyprlandSocket(std::string instance = instanceFromEnvironment());

    const std::string& instance() const { return instance_; }
    // The folder holding the instance's sockets.
    std::string folder() const;

    // The answer to one request ("j/devices", "/setcursor NAME 24");
    // nothing when Hyprland does not answer within a second.
    std::optional<std::string> request(const std::string& text) const;
    UnixSocket events() const;

private:
    std::string instance_;
};
