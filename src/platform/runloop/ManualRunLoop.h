#pragma once

#include "platform/runloop/RunLoop.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// A run loop with a virtual clock for tests: time moves only through advance()
// and runUntil(), and everything that falls due fires in time order (ties in
// the order it was scheduled). Posted work runs on the thread that drives it.
class ManualRunLoop : public RunLoop {
public:
    double now() const override;
    void post(Task task) override;
    std::shared_ptr<Handle> after(double seconds, Task task) override;
    std::shared_ptr<Handle> every(double seconds, Task task) override;
    std::shared_ptr<Handle> watchReadable(int fd, Task task) override;
    void runUntil(double deadline) override;
    int run() override;
    void quit(int exitCode = 0) override;

    void advance(double seconds);
    // Runs posted work and the watches of readable descriptors, without
    // moving the clock, until nothing is left.
    void runPending();
    // Scheduled delayed work and timers that are not cancelled.
    std::size_t scheduledCount() const;
    bool quitRequested() const { return quitRequested_; }

private:
    class Flag;
    struct Timer {
        double due;
        std::uint64_t order;
        double interval;
        Task task;
        std::shared_ptr<Flag> flag;
    };
    struct Watch {
        int fd;
        Task task;
        std::shared_ptr<Flag> flag;
    };

    std::shared_ptr<Handle> schedule(double seconds, double interval, Task task);
    bool runOnePosted();
    bool runReadyWatches();
    bool fireNextDueBy(double deadline);

    double clock_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<Timer> timers_;
    std::vector<Watch> watches_;
    mutable std::mutex postedMutex_;
    std::deque<Task> posted_;
    bool quitRequested_ = false;
    int exitCode_ = 0;
};
