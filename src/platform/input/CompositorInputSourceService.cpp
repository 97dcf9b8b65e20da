#include "platform/input/CompositorInputSourceService.h"

CompositorInputSourceService::~CompositorInputSourceService()
{
    if (watch_)
        watch_->cancel();
}

std::optional<InputSource> CompositorInputSourceService::currentKeyboardInputSource()
{
    if (!watch_)
        ask();
    if (!description_)
        return std::nullopt;
    return registry_.sourceDescribedAs(*description_);
}

// The layout is asked once more after subscribing, so that a switch made
// while the stream opened is not missed.
std::shared_ptr<RunLoop::Handle> CompositorInputSourceService::observeSelectedSourceChanged(
    std::function<void()> callback)
{
    if (!watch_) {
        int fd = subscribe();
        if (fd >= 0) {
            watch_ = RunLoop::main().watchReadable(fd, [this] { onReadable(); });
            ask();
        }
    }
    return observers_.add(std::move(callback));
}

void CompositorInputSourceService::follow(const std::string& keyboard, const std::string& description)
{
    keyboard_ = keyboard;
    changed_ = changed_ || description_ != description;
    description_ = description;
}

// A compositor that went away leaves queries asking again, and finding none.
void CompositorInputSourceService::onReadable()
{
    changed_ = false;
    if (!readEvents()) {
        watch_->cancel();
        watch_.reset();
    }
    if (changed_)
        observers_.notifyAll();
}
