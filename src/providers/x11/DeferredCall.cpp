#include "providers/x11/DeferredCall.h"

#include <csignal>
#include <pthread.h>
#include <system_error>

DeferredCall::~DeferredCall()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
    if (requested_)
        call_();
}

void DeferredCall::request()
{
    std::lock_guard lock(mutex_);
    lastRequest_ = std::chrono::steady_clock::now();
    if (requested_)
        return;
    // Only the first request of a burst wakes the thread: it looks at the
    // time of the last one when its wait is over.
    requested_ = true;
    if (thread_.joinable()) {
        wake_.notify_one();
        return;
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // Without a thread the call is made when this object goes.
    }
}

void DeferredCall::run()
{
    // Termination signals belong to the program's main loop.
    sigset_t signals;
    sigfillset(&signals);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!requested_) {
            wake_.wait(lock);
            continue;
        }
        auto due = lastRequest_ + quiet_;
        if (std::chrono::steady_clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        requested_ = false;
        lock.unlock();
        call_();
        lock.lock();
    }
}
