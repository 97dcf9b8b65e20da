#pragma once

#include "platform/runloop/SignalSource.h"

#include <functional>
#include <memory>
#include <vector>

// SIGINT, SIGTERM, SIGHUP and SIGQUIT no longer end the process: each is logged
// on the main loop and asks for the ordinary termination, which restores the
// user's cursors. Holding the returned sources keeps the handlers alive.
std::vector<std::shared_ptr<SignalSource>> installGracefulTerminationHandlers(std::function<void()> terminate);
