#include "platform/sessionbus/DesktopNotification.h"

#include "platform/sessionbus/SessionBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr int notifyTimeoutMilliseconds = 5000;
// Server default.
constexpr int expiresByServer = -1;

}

void DesktopNotification::send(const std::string& summary, const std::string& body, Outcome outcome)
{
    if (!outcome)
        outcome = [](const std::optional<std::string>&) {};
    if (!SessionBus::exists())
        return outcome("no session bus");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return outcome(bus.lastError().message().toStdString());
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString application = QStringLiteral("com.tarnwick.app");
    notify << QStringLiteral("Tarnwick") << 0u << application << QString::fromStdString(summary)
           << QString::fromStdString(body) << QStringList()
           << QVariantMap{{QStringLiteral("desktop-entry"), application}} << expiresByServer;
    // The application takes an answer still awaited at exit with it.
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(notify, notifyTimeoutMilliseconds), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [outcome](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError())
            outcome(finished->error().message().toStdString());
        else
            outcome(std::nullopt);
    });
}
