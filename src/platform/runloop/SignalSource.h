#pragma once

#include "platform/runloop/RunLoop.h"

#include <functional>
#include <memory>

// Delivers a process signal to a handler on the main run loop instead of its
// default action. The signal stays caught for the life of the process; the
// handler runs once per delivery the kernel reports.
class SignalSource {
public:
    static std::shared_ptr<SignalSource> make(int signo, std::function<void()> handler);
    ~SignalSource();

    int signalNumber() const { return signo_; }

private:
    SignalSource(int signo, std::function<void()> handler);
    int signo_;
    std::function<void()> handler_;
    friend class SignalPipe;
};
