#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A call made on a thread of its own once it has been asked for and no
// further asking has come for a while: a burst of requests is answered once,
// after it. The thread starts with the first request and sleeps while
// nothing is asked.
class DeferredCall {
public:
    DeferredCall(std::chrono::milliseconds quiet, std::function<void()> call)
        : quiet_(quiet), call_(std::move(call))
    {
    }
    // Makes a call still asked for, then ends the thread.
    ~DeferredCall();
    DeferredCall(const DeferredCall&) = delete;
    DeferredCall& operator=(const DeferredCall&) = delete;

    // Asks for the call, and starts the quiet period again.
    void request();

private:
    void run();

    const std::chrono::milliseconds quiet_;
    const std::function<void()> call_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::chrono::steady_clock::time_point lastRequest_;
    bool requested_ = false;
    bool stopping_ = false;
};
