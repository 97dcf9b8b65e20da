#pragma once

#include "platform/runloop/RunLoop.h"

#include <functional>
#include <memory>
#include <vector>

// The callbacks waiting for a change of the selected input source. Main
// thread only.
class SourceChangeObservers {
public:
    std::shared_ptr<RunLoop::Handle> add(std::function<void()> callback);

    // Calls every observer that is not cancelled, in the order they came.
    void notifyAll();

private:
    class Registration;
    struct Observer {
        std::shared_ptr<Registration> registration;
        std::function<void()> callback;
    };

    void dropCancelled();

    std::vector<Observer> observers_;
};
