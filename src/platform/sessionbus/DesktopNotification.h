#pragma once

#include <functional>
#include <optional>
#include <string>

// A notification through the desktop's notification server
// (org.freedesktop.Notifications on the session bus), which needs no tray.
namespace DesktopNotification {

// What became of a notification: nothing when the server took it, else why
// not.
using Outcome = std::function<void(const std::optional<std::string>& failure)>;

// Shown under Tarnwick's name and icon. The outcome, when asked for, comes on
// the main loop, or at once when there is no session bus.
void send(const std::string& summary, const std::string& body, Outcome outcome = {});

}
