#include "platform/input/InputMethodInputSourceService.h"

#include "base/AppLog.h"
#include "platform/input/EnsureQtApplication.h"

#include <QThread>

#include <chrono>

// What the watcher thread reports and the main thread reads. Observers are
// main-thread only: the watcher posts its announcements there.
struct InputMethodInputSourceService::Shared {
    std::mutex mutex;
    std::condition_variable firstReportArrived;
    bool reported = false;
    InputMethodWatcher::Report last;
    std::atomic<bool> questionPending = false;
    std::string frameworkName;
    SourceChangeObservers observers;

    // Watcher thread.
    void receive(const InputMethodWatcher::Report& report, const std::shared_ptr<Shared>& self)
    {
        bool wasReported, wasAnswering, changed;
        {
            std::lock_guard lock(mutex);
            wasReported = reported;
            wasAnswering = last.answering;
            changed = !reported || report.answering != last.answering || !sameSource(report.source, last.source);
            reported = true;
            last = report;
        }
        questionPending = false;
        firstReportArrived.notify_all();
        if (wasReported && wasAnswering != report.answering)
            AppLog::info("Input sources: " + frameworkName +
                         (report.answering ? " answers again; following its input method"
                                           : " stopped answering; following the XKB keymap"));
        else if (!wasReported && !report.answering)
            AppLog::info("Input sources: " + frameworkName + " does not answer; following the XKB keymap until it does");
        if (changed && wasReported)
            RunLoop::main().post([weak = std::weak_ptr<Shared>(self)] {
                if (auto shared = weak.lock())
                    shared->observers.notifyAll();
            });
    }

    static bool sameSource(const std::optional<InputSource>& a, const std::optional<InputSource>& b)
    {
        if (!a || !b)
            return a.has_value() == b.has_value();
        return a->identifier == b->identifier && a->localizedName == b->localizedName && a->languages == b->languages;
    }
};

InputMethodInputSourceService::InputMethodInputSourceService(std::unique_ptr<InputMethodWatcher> watcher,
                                                             std::unique_ptr<InputSourceService> fallback,
                                                             double firstReportTimeout)
    : shared_(std::make_shared<Shared>()),
      fallback_(std::move(fallback)),
      watcher_(watcher.release()),
      polls_(watcher_->needsPolling())
{
    ensureQtApplication();
    thread_ = std::make_unique<QThread>();
    shared_->frameworkName = watcher_->frameworkName();
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
    if (polls_)
        askAgain();
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->last.answering && shared_->last.source)
            return shared_->last.source;
    }
    return fallback_->currentKeyboardInputSource();
}

// One question at a time: a daemon that hangs gets no queue of them.
void InputMethodInputSourceService::askAgain()
{
    if (shared_->questionPending.exchange(true))
        return;
    QMetaObject::invokeMethod(watcher_, [watcher = watcher_] { watcher->refresh(); }, Qt::QueuedConnection);
}

std::shared_ptr<RunLoop::Handle> InputMethodInputSourceService::observeSelectedSourceChanged(
    std::function<void()> callback)
{
    // The keymap matters whenever no input method is selected, and xkb
    // engines change it themselves.
    if (!fallbackObservation_)
        fallbackObservation_ = fallback_->observeSelectedSourceChanged([shared = std::weak_ptr<Shared>(shared_)] {
            if (auto alive = shared.lock())
                alive->observers.notifyAll();
        });
    return shared_->observers.add(std::move(callback));
}
