#include "platform/display/DisplayLoss.h"

#include "base/AppLog.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>

#include <X11/Xlib.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::function<void(const std::string&)> handler;
std::atomic<bool> handling = false;
XIOErrorHandler earlierIOErrorHandler = nullptr;
QtMessageHandler earlierMessageHandler = nullptr;

void endAfterLoss(const std::string& cause)
{
    if (handling.exchange(true))
        return;
    handler(cause);
    AppLog::flush();
    std::_Exit(1);
}

void leaveDisplayInert(Display*, void*)
{
    // Returning instead of exiting leaves the display failing every call.
}

int onIOError(Display* display)
{
    if (earlierIOErrorHandler)
        earlierIOErrorHandler(display);
    XSetIOErrorExitHandler(display, leaveDisplayInert, nullptr);
    std::string cause = std::string("X server connection lost (") + DisplayString(display) + ")";
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [cause] { endAfterLoss(cause); }, Qt::QueuedConnection);
    return 0;
}

// Qt reports its broken X connection with this warning and exits right after
// it, on the main thread; the handler has to run before that.
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith("The X11 connection broke")) {
        endAfterLoss(message.toStdString());
        // Noticed again while the loss is handled (the termination runs the
        // loop): Qt exits as soon as this returns, so end as the handler would.
        AppLog::flush();
        std::_Exit(1);
    }
    if (earlierMessageHandler)
        earlierMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}

void DisplayLoss::install(std::function<void(const std::string& cause)> onLoss)
{
    handler = std::move(onLoss);
    // Setting no handler restores Xlib's own, and only then is its address
    // known: that one prints and is not worth calling.
    XIOErrorHandler current = XSetIOErrorHandler(nullptr);
    XIOErrorHandler xlibDefault = XSetIOErrorHandler(onIOError);
    earlierIOErrorHandler = current == xlibDefault ? nullptr : current;
    earlierMessageHandler = qInstallMessageHandler(onQtMessage);
}
