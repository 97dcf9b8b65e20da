#pragma once

#include "platform/input/InputSourceService.h"
#include "platform/input/SourceChangeObservers.h"
#include "platform/input/XkbLayoutRegistry.h"

#include <string>

// The keyboard layout a compositor reports over its control sockets, named
// by its description ("Russian", "English (US)"). While nobody observes
// changes, each query asks the compositor; from the first observer on, the
// compositor's events, read from a socket the main loop watches, keep the
// layout, and queries answer from them without asking. Which keyboard is
// followed is each compositor's to say.
class CompositorInputSourceService : public InputSourceService {
public:
    ~CompositorInputSourceService() override;

    std::optional<InputSource> currentKeyboardInputSource() override;
    std::shared_ptr<RunLoop::Handle> observeSelectedSourceChanged(std::function<void()> callback) override;

protected:
    // Asks the compositor for the layout of the keyboard followed, or of its
    // main keyboard, and follow()s it.
    virtual void ask() = 0;
    // Opens the compositor's stream of events: its descriptor, or -1.
    virtual int subscribe() = 0;
    // Reads the events that arrived and follow()s every change of layout;
    // false once the compositor has closed the stream.
    virtual bool readEvents() = 0;

    void follow(const std::string& keyboard, const std::string& description);
    const std::string& keyboard() const { return keyboard_; }

private:
    void onReadable();

    std::string keyboard_;
    std::optional<std::string> description_;
    bool changed_ = false;
    std::shared_ptr<RunLoop::Handle> watch_;
    SourceChangeObservers observers_;
    XkbLayoutRegistry registry_;
};
