#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A labelled queue that runs its work one task at a time, in submission order,
// on a worker thread of its own.
class SerialQueue {
public:
    using Task = std::function<void()>;

    // A queue given a linger keeps its worker awake that long after its last
    // task, so that a burst of small tasks (log lines) costs one wake-up, not
    // one each; sync() still wakes it at once.
    explicit SerialQueue(std::string label, std::chrono::milliseconds linger = {});
    // Runs what is already queued, drops delayed work not yet due, then stops.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    void async(Task task);
    // Waits until the task has run. Called from the queue itself it runs the
    // task in place instead of waiting for itself forever.
    void sync(const Task& task);
    void after(double seconds, Task task);
    bool isCurrent() const;

private:
    using Clock = std::chrono::steady_clock;
    void work();
    void push(Task task, bool wakeAlways);

    std::string label_;
    std::chrono::milliseconds linger_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    std::multimap<Clock::time_point, Task> delayed_;
    bool stopping_ = false;
    bool idle_ = false;
    std::thread thread_;
};
