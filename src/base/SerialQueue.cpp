#include "base/SerialQueue.h"

#include <csignal>
#include <future>
#include <pthread.h>

SerialQueue::SerialQueue(std::string label, std::chrono::milliseconds linger)
    : label_(std::move(label)), linger_(linger)
{
    thread_ = std::thread([this] { work(); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void SerialQueue::async(Task task)
{
    push(std::move(task), false);
}

void SerialQueue::push(Task task, bool wakeAlways)
{
    bool wake;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake = idle_ || wakeAlways;
    }
    // A busy or lingering worker finds the task on its next turn; only a
    // sleeping one needs the (system-call) wake-up.
    if (wake)
        wake_.notify_one();
}

void SerialQueue::sync(const Task& task)
{
    if (isCurrent()) {
        task();
        return;
    }
    std::promise<void> done;
    push(
        [&] {
            task();
            done.set_value();
        },
        true);
    done.get_future().wait();
}

void SerialQueue::after(double seconds, Task task)
{
    auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(due, std::move(task));
    }
    wake_.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return std::this_thread::get_id() == thread_.get_id();
}

void SerialQueue::work()
{
    // Termination signals belong to the main thread's loop, never to a worker.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), label_.substr(0, 15).c_str());

    std::unique_lock lock(mutex_);
    bool lingered = true;
    for (;;) {
        while (!delayed_.empty() && delayed_.begin()->first <= Clock::now()) {
            tasks_.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
        }
        if (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            lingered = false;
            continue;
        }
        if (stopping_)
            return;
        if (!lingered && linger_.count() > 0) {
            lingered = true;
            wake_.wait_for(lock, linger_);
            continue;
        }
        idle_ = true;
        if (delayed_.empty())
            wake_.wait(lock);
        else
            wake_.wait_until(lock, delayed_.begin()->first);
        idle_ = false;
    }
}
