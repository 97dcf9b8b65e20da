#pragma once

// One running program per display and user (and per session bus, through
// SessionBusControl's name). The lock is an flock on a file in the user's
// runtime folder, named after the display, held until the process ends, so a
// crash releases it as surely as a quit.
namespace InstanceLock {

// Takes the lock for $DISPLAY for the rest of the process. When another
// process holds it, says on standard error and in the system log that
// Tarnwick is already running and returns false. The lock file is
// $XDG_RUNTIME_DIR (else ~/.cache) + "/tarnwick-" + the display, its screen
// number dropped and "/" made "_", + ".lock". A lock that cannot be made
// at all stops nobody: true.
bool acquire();
// The same without a word when another process holds it.
bool tryAcquire();
// What acquire says when another process holds the lock; also for the
// other ways of finding a running Tarnwick.
void reportAlreadyRunning();

}
