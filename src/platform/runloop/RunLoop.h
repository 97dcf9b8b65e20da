#pragma once

#include <functional>
#include <memory>

// The main thread's event loop: posted work, delayed and repeating work, file
// descriptors to watch. The program runs on the Qt event loop; tests install a
// ManualRunLoop whose clock only moves when told to.
class RunLoop {
public:
    using Task = std::function<void()>;

    // Cancels delayed work, stops a timer or a watch. Work that has not started
    // when it is cancelled never runs. Dropping the handle does not cancel.
    class Handle {
    public:
        virtual ~Handle() = default;
        virtual void cancel() = 0;
        virtual bool isCancelled() const = 0;
    };

    virtual ~RunLoop() = default;

    // Seconds on a monotonic clock.
    virtual double now() const = 0;

    // Runs the task on the main thread soon. Safe from any thread.
    virtual void post(Task task) = 0;

    virtual std::shared_ptr<Handle> after(double seconds, Task task) = 0;
    virtual std::shared_ptr<Handle> every(double seconds, Task task) = 0;
    virtual std::shared_ptr<Handle> watchReadable(int fd, Task task) = 0;

    // Runs the loop until now() reaches the deadline, then returns.
    virtual void runUntil(double deadline) = 0;

    // Runs until quit(); returns the exit code passed to quit().
    virtual int run() = 0;
    virtual void quit(int exitCode = 0) = 0;

    // The loop the program's main thread runs. Installed once at start-up (or
    // by a test); there is always one.
    static RunLoop& main();
    static void setMain(RunLoop* loop);
};
