#pragma once

#include <functional>
#include <string>

// Xlib and Qt's X11 platform both end the process on the spot when the X
// server goes away (logout, a crashed session), skipping everything the
// program undoes at quit. Once installed, a lost X connection instead calls
// the handler on the main thread, once, with the cause; the process then
// ends with status 1 when the handler returns.
namespace DisplayLoss {

// Call on the main thread, after the application object exists. Xlib's
// I/O error handlers installed earlier are still called first.
void install(std::function<void(const std::string& cause)> onLoss);

}
