#pragma once

#include "platform/input/InputSource.h"

#include <QObject>

class QDBusMessage;

#include <atomic>
#include <functional>
#include <optional>
#include <string>

// The bus side of an input method framework (IBus, Fcitx 5): lives on a
// thread of its own with a Qt event loop, talks to the daemon there, and
// reports what the daemon says. Nothing of it runs on the main thread.
class InputMethodWatcher : public QObject {
    Q_OBJECT

public:
    struct Report {
        bool answering = false;
        // The selected input method; nothing when none is selected (or the
        // daemon does not answer), which means the keymap alone decides.
        std::optional<InputSource> source;
    };
    using Publisher = std::function<void(const Report&)>;

    // "IBus", "Fcitx 5": for log lines.
    virtual std::string frameworkName() const = 0;
    // What the daemon selects, for log lines.
    virtual std::string followedName() const { return "its input method"; }
    // Any thread. True while the daemon announces no change of input method,
    // so that it must be asked again on every poll.
    bool needsPolling() const { return needsPolling_; }

    // Watcher thread. The first report is published before start returns.
    virtual void start() = 0;
    // Watcher thread, at each poll of the main thread while needsPolling():
    // looks for a change since the poll before and reports it.
    virtual void poll() {}

    void setPublisher(Publisher publisher) { publisher_ = std::move(publisher); }

protected:
    // An error reply that says the daemon is gone or hangs, rather than that
    // it refused the question.
    static bool meansDaemonGone(const QDBusMessage& reply);

    void publish(const Report& report) const
    {
        if (publisher_)
            publisher_(report);
    }
    void setNeedsPolling(bool needed) { needsPolling_ = needed; }

private:
    Publisher publisher_;
    std::atomic<bool> needsPolling_ = false;
};
