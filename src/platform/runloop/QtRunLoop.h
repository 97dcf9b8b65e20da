#pragma once

#include "platform/runloop/RunLoop.h"

#include <memory>
#include <set>

// The program's run loop: the Qt event loop of the application object, which
// must exist before this is created and outlive it.
class QtRunLoop : public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;

    double now() const override;
    void post(Task task) override;
    std::shared_ptr<Handle> after(double seconds, Task task) override;
    std::shared_ptr<Handle> every(double seconds, Task task) override;
    std::shared_ptr<Handle> watchReadable(int fd, Task task) override;
    void runUntil(double deadline) override;
    int run() override;
    void quit(int exitCode = 0) override;

private:
    class Item;
    std::shared_ptr<Handle> startTimer(double seconds, bool repeating, Task task);
    // The loop keeps scheduled work alive on its own, as a run loop retains its
    // timers; an item leaves this set when it is done or cancelled.
    std::set<std::shared_ptr<Item>> live_;
};
