#pragma once

#include <string>

// One running program per display and user. The lock is an flock on a file
// in the user's runtime folder, named after the display, held until the
// process ends, so a crash releases it as surely as a quit.
namespace InstanceLock {

// The lock file for a display: $XDG_RUNTIME_DIR, else ~/.cache, holds
// "tarnwick-" + the display (its screen number dropped, "/" made "_") + ".lock".
std::string pathFor(const std::string& display);

// Takes the lock for $DISPLAY for the rest of the process. When another
// process holds it, says on standard error and in the system log that
// Tarnwick is already running and returns false. A lock that cannot be made
// at all stops nobody: true.
bool acquire();

}
