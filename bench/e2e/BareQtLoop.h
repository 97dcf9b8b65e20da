#pragma once

#include <sys/types.h>

// A process that runs nothing but a Qt event loop with a 250 ms timer: what
// the program's poll costs at the least, on this machine, at this moment.
class BareQtLoop {
public:
    BareQtLoop();
    ~BareQtLoop();
    BareQtLoop(const BareQtLoop&) = delete;
    BareQtLoop& operator=(const BareQtLoop&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};
