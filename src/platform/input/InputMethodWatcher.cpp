#include "platform/input/InputMethodWatcher.h"

#include <QDBusError>
#include <QDBusMessage>

bool InputMethodWatcher::meansDaemonGone(const QDBusMessage& reply)
{
    QDBusError::ErrorType type = QDBusError(reply).type();
    return type == QDBusError::Disconnected || type == QDBusError::NoReply || type == QDBusError::Timeout ||
           type == QDBusError::ServiceUnknown || type == QDBusError::NoServer;
}
