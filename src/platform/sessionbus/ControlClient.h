#pragma once

#include "platform/sessionbus/ControlState.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

// The other end of SessionBusControl: how the command-line verbs reach the
// running program. Blocking calls; needs no event loop.
class ControlClient {
public:
    using Argument = std::variant<std::string, bool>;

    struct Answer {
        // The error's text when the call failed.
        std::optional<std::string> error;
        // A method's boolean result.
        std::optional<bool> result;
    };

    struct Status {
        ControlState state;
        std::optional<std::string> error;
    };

    ControlClient();

    bool hasBus() const { return hasBus_; }
    // Whether a Tarnwick owns its name on the bus.
    bool instanceRunning() const;

    Answer call(const std::string& method, const std::vector<Argument>& arguments = {}) const;
    Status status() const;

    // Whether the name was given up within the time: the program has ended.
    bool waitUntilGone(double seconds) const;

private:
    bool hasBus_ = false;
};
