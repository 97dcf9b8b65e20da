#pragma once

#include <optional>
#include <string>

// Which Qt platform plugin the program starts on. A Wayland session runs the
// program whether or not Qt's Wayland plugin is installed: without it the
// program goes through XWayland (xcb) when DISPLAY is set, and with it falls
// back to xcb (or offscreen without DISPLAY) should the compositor not
// answer. Without any display Qt draws offscreen. An explicit QT_QPA_PLATFORM always wins.
namespace QtPlatformChoice {

// The QT_QPA_PLATFORM value to set; nothing to leave Qt's own choice.
std::optional<std::string> platformFor(bool hasWayland, bool hasDisplay, bool waylandPluginInstalled);

// Sets QT_QPA_PLATFORM from the environment before the application is made.
void apply();

}
