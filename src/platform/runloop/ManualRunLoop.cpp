#include "platform/runloop/ManualRunLoop.h"

#include <algorithm>
#include <atomic>
#include <poll.h>

class ManualRunLoop::Flag : public RunLoop::Handle {
public:
    void cancel() override { cancelled_ = true; }
    bool isCancelled() const override { return cancelled_; }

private:
    std::atomic<bool> cancelled_{false};
};

double ManualRunLoop::now() const
{
    return clock_;
}

void ManualRunLoop::post(Task task)
{
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
}

std::shared_ptr<RunLoop::Handle> ManualRunLoop::after(double seconds, Task task)
{
    return schedule(seconds, 0, std::move(task));
}

std::shared_ptr<RunLoop::Handle> ManualRunLoop::every(double seconds, Task task)
{
    return schedule(seconds, std::max(seconds, 1e-9), std::move(task));
}

std::shared_ptr<RunLoop::Handle> ManualRunLoop::schedule(double seconds, double interval, Task task)
{
    auto flag = std::make_shared<Flag>();
    timers_.push_back({clock_ + std::max(seconds, 0.0), nextOrder_++, interval, std::move(task), flag});
    return flag;
}

std::shared_ptr<RunLoop::Handle> ManualRunLoop::watchReadable(int fd, Task task)
{
    auto flag = std::make_shared<Flag>();
    watches_.push_back({fd, std::move(task), flag});
    return flag;
}

void ManualRunLoop::runUntil(double deadline)
{
    runPending();
    while (fireNextDueBy(deadline))
        runPending();
    clock_ = std::max(clock_, deadline);
    runPending();
}

void ManualRunLoop::advance(double seconds)
{
    runUntil(clock_ + seconds);
}

int ManualRunLoop::run()
{
    quitRequested_ = false;
    while (!quitRequested_) {
        runPending();
        if (quitRequested_ || !fireNextDueBy(1e300))
            break;
    }
    return exitCode_;
}

void ManualRunLoop::quit(int exitCode)
{
    exitCode_ = exitCode;
    quitRequested_ = true;
}

void ManualRunLoop::runPending()
{
    while (runOnePosted() || runReadyWatches()) {
    }
}

std::size_t ManualRunLoop::scheduledCount() const
{
    return std::count_if(timers_.begin(), timers_.end(), [](const Timer& t) { return !t.flag->isCancelled(); });
}

bool ManualRunLoop::runOnePosted()
{
    Task task;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty())
            return false;
        task = std::move(posted_.front());
        posted_.pop_front();
    }
    task();
    return true;
}

bool ManualRunLoop::runReadyWatches()
{
    std::erase_if(watches_, [](const Watch& w) { return w.flag->isCancelled(); });
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        pollfd p{watches_[i].fd, POLLIN, 0};
        if (poll(&p, 1, 0) == 1 && (p.revents & (POLLIN | POLLHUP))) {
            Task task = watches_[i].task;
            task();
            return true;
        }
    }
    return false;
}

bool ManualRunLoop::fireNextDueBy(double deadline)
{
    std::erase_if(timers_, [](const Timer& t) { return t.flag->isCancelled(); });
    auto next = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
    if (next == timers_.end() || next->due > deadline)
        return false;
    clock_ = std::max(clock_, next->due);
    Task task = next->task;
    if (next->interval > 0) {
        next->due += next->interval;
        next->order = nextOrder_++;
    } else {
        timers_.erase(next);
    }
    task();
    return true;
}
