#include "platform/input/InputMethodInputSourceService.h"

#include "base/AppLog.h"
#include "platform/input/EnsureQtApplication.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// What the watcher thread reports and the main thread reads. A report
// becomes what queries see only on the main thread, in the same task that
// tells the observers, so a poll never takes a change ahead of its
// announcement; only the first report, awaited at construction, is seen at
// once. Observers are main-thread only.
struct InputMethodInputSourceService::Shared {
    std::mutex mutex;
    std::condition_variable firstReportArrived;
    bool reported = false;
    InputMethodWatcher::Report received;
    InputMethodWatcher::Report seen;
    std::atomic<bool> pollPending = false;
    std::string frameworkName;
    std::string fallbackName;
    std::string followedName;
    SourceChangeObservers observers;

    // Watcher thread.
    void receive(const InputMethodWatcher::Report& report, const std::shared_ptr<Shared>& self)
    {
        bool first, wasAnswering, changed;
        {
            std::lock_guard lock(mutex);
            first = !reported;
            wasAnswering = received.answering;
            changed = !same(report, received);
            reported = true;
            received = report;
            if (first)
                seen = report;
        }
        firstReportArrived.notify_all();
        logAnswering(first, wasAnswering, report.answering);
        if (changed && !first)
            RunLoop::main().post([weak = std::weak_ptr<Shared>(self)] {
                if (auto shared = weak.lock())
                    shared->adopt();
            });
    }

    // Main thread.
    void adopt()
    {
        bool changed;
        {
            std::lock_guard lock(mutex);
            changed = !same(received, seen);
            seen = received;
        }
        if (changed)
            observers.notifyAll();
    }

    void logAnswering(bool first, bool wasAnswering, bool answering) const
    {
        if (first && !answering)
            AppLog::info("Input sources: " + frameworkName + " does not answer; following " + fallbackName +
                         " until it does");
        else if (!first && wasAnswering != answering)
            AppLog::info("Input sources: " + frameworkName +
                         (answering ? " answers again; following " + followedName
                                    : " stopped answering; following " + fallbackName));
    }

    static bool same(const InputMethodWatcher::Report& a, const InputMethodWatcher::Report& b)
    {
        if (a.answering != b.answering || a.source.has_value() != b.source.has_value())
            return false;
        return !a.source || (a.source->identifier == b.source->identifier &&
                             a.source->localizedName == b.source->localizedName &&
                             a.source->languages == b.source->languages);
    }
};

InputMethodInputSourceService::InputMethodInputSourceService(std::unique_ptr<InputMethodWatcher> watcher,
                                                             std::unique_ptr<InputSourceService> fallback,
                                                             double firstReportTimeout, std::string fallbackName)
    : shared_(std::make_shared<Shared>()),
      fallback_(std::move(fallback)),
      watcher_(watcher.release())
{
    ensureQtApplication();
    thread_ = std::make_unique<QThread>();
    shared_->frameworkName = watcher_->frameworkName();
    shared_->fallbackName = std::move(fallbackName);
    shared_->followedName = watcher_->followedName();
    watcher_->setPublisher([shared = shared_](const InputMethodWatcher::Report& report) {
        shared->receive(report, shared);
    });
    watcher_->moveToThread(thread_.get());
    QObject::connect(thread_.get(), &QThread::finished, watcher_, &QObject::deleteLater);
    thread_->start();
    QMetaObject::invokeMethod(watcher_, [watcher = watcher_] { watcher->start(); }, Qt::QueuedConnection);
    std::unique_lock lock(shared_->mutex);
    shared_->firstReportArrived.wait_for(lock, std::chrono::duration<double>(firstReportTimeout),
                                         [this] { return shared_->reported; });
}

InputMethodInputSourceService::~InputMethodInputSourceService()
{
    if (fallbackObservation_)
        fallbackObservation_->cancel();
    thread_->quit();
    thread_->wait();
}

std::optional<InputSource> InputMethodInputSourceService::currentKeyboardInputSource()
{
    if (watcher_->needsPolling())
        askAgain();
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->seen.answering && shared_->seen.source)
            return shared_->seen.source;
    }
    return fallback_ ? fallback_->currentKeyboardInputSource() : std::nullopt;
}

// One poll at a time: a watcher held up by a daemon that hangs gets no queue
// of them.
void InputMethodInputSourceService::askAgain()
{
    if (shared_->pollPending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        watcher_,
        [watcher = watcher_, shared = shared_] {
            watcher->poll();
            shared->pollPending = false;
        },
        Qt::QueuedConnection);
}

std::shared_ptr<RunLoop::Handle> InputMethodInputSourceService::observeSelectedSourceChanged(
    std::function<void()> callback)
{
    // The keymap matters whenever no input method is selected, and xkb
    // engines change it themselves.
    if (fallback_ && !fallbackObservation_)
        fallbackObservation_ = fallback_->observeSelectedSourceChanged([shared = std::weak_ptr<Shared>(shared_)] {
            if (auto alive = shared.lock())
                alive->observers.notifyAll();
        });
    return shared_->observers.add(std::move(callback));
}
