#include "platform/runloop/QtRunLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cmath>

class QtRunLoop::Item : public RunLoop::Handle {
public:
    explicit Item(std::set<std::shared_ptr<Item>>& live) : live_(live) {}
    ~Item() override { dispose(); }

    void cancel() override
    {
        if (cancelled_)
            return;
        cancelled_ = true;
        dispose();
        release();
    }
    bool isCancelled() const override { return cancelled_; }

    // Drops the loop's reference; the caller's handle, if any, stays valid.
    void release()
    {
        for (auto it = live_.begin(); it != live_.end(); ++it) {
            if (it->get() == this) {
                live_.erase(it);
                return;
            }
        }
    }

    QTimer* timer = nullptr;
    QSocketNotifier* notifier = nullptr;

private:
    // The item may die inside its own timer's signal, so the Qt objects are
    // deleted from the event loop rather than here.
    void dispose()
    {
        if (timer) {
            timer->stop();
            timer->deleteLater();
            timer = nullptr;
        }
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
    }

    std::set<std::shared_ptr<Item>>& live_;
    bool cancelled_ = false;
};

QtRunLoop::QtRunLoop() = default;

QtRunLoop::~QtRunLoop()
{
    auto items = live_;
    for (const auto& item : items)
        item->cancel();
}

double QtRunLoop::now() const
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void QtRunLoop::post(Task task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

std::shared_ptr<RunLoop::Handle> QtRunLoop::after(double seconds, Task task)
{
    return startTimer(seconds, false, std::move(task));
}

std::shared_ptr<RunLoop::Handle> QtRunLoop::every(double seconds, Task task)
{
    return startTimer(seconds, true, std::move(task));
}

std::shared_ptr<RunLoop::Handle> QtRunLoop::startTimer(double seconds, bool repeating, Task task)
{
    auto item = std::make_shared<Item>(live_);
    item->timer = new QTimer();
    item->timer->setTimerType(Qt::PreciseTimer);
    item->timer->setSingleShot(!repeating);
    std::weak_ptr<Item> weak = item;
    QObject::connect(item->timer, &QTimer::timeout, [weak, repeating, task = std::move(task)] {
        auto self = weak.lock();
        if (!self || self->isCancelled())
            return;
        if (!repeating)
            self->release();
        task();
    });
    item->timer->start(static_cast<int>(std::lround(std::max(seconds, 0.0) * 1000)));
    live_.insert(item);
    return item;
}

std::shared_ptr<RunLoop::Handle> QtRunLoop::watchReadable(int fd, Task task)
{
    auto item = std::make_shared<Item>(live_);
    item->notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    std::weak_ptr<Item> weak = item;
    QObject::connect(item->notifier, &QSocketNotifier::activated, [weak, task = std::move(task)] {
        auto self = weak.lock();
        if (self && !self->isCancelled())
            task();
    });
    live_.insert(item);
    return item;
}

void QtRunLoop::runUntil(double deadline)
{
    double remaining = deadline - now();
    if (remaining <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::ceil(remaining * 1000)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int QtRunLoop::run()
{
    return QCoreApplication::exec();
}

void QtRunLoop::quit(int exitCode)
{
    QCoreApplication::exit(exitCode);
}
