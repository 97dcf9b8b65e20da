#include "platform/input/SourceChangeObservers.h"

#include <algorithm>

class SourceChangeObservers::Registration : public RunLoop::Handle {
public:
    void cancel() override { cancelled_ = true; }
    bool isCancelled() const override { return cancelled_; }

private:
    bool cancelled_ = false;
};

std::shared_ptr<RunLoop::Handle> SourceChangeObservers::add(std::function<void()> callback)
{
    auto registration = std::make_shared<Registration>();
    observers_.push_back({registration, std::move(callback)});
    return registration;
}

void SourceChangeObservers::notifyAll()
{
    dropCancelled();
    // A callback may add or cancel observers; work on a copy.
    std::vector<Observer> current = observers_;
    for (const Observer& observer : current)
        if (!observer.registration->isCancelled())
            observer.callback();
}

void SourceChangeObservers::dropCancelled()
{
    std::erase_if(observers_, [](const Observer& observer) { return observer.registration->isCancelled(); });
}
