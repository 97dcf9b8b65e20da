#pragma once

// The user's session bus, found the same way by every part of the program
// that talks on it.
namespace SessionBus {

// A bus named in the environment, or the user bus systemd keeps in the
// runtime folder. Without either the bus library would launch a bus of its
// own, which no other program would ever see.
bool exists();

}
