#include "platform/sessionbus/ControlClient.h"

#include "platform/sessionbus/SessionBus.h"
#include "platform/sessionbus/SessionBusControl.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

#include <chrono>
#include <thread>

namespace {

// A cold first apply of a large theme may take a few seconds; a program that
// answers nothing for this long is hung.
constexpr int callTimeoutMilliseconds = 25000;

QDBusMessage methodCall(const QString& interface, const QString& method)
{
    return QDBusMessage::createMethodCall(QString::fromLatin1(SessionBusControl::serviceName),
                                          QString::fromLatin1(SessionBusControl::objectPath), interface, method);
}

std::string errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName().toStdString() : reply.errorMessage().toStdString();
}

std::string stringValue(const QVariantMap& properties, const char* name)
{
    return properties.value(QString::fromLatin1(name)).toString().toStdString();
}

}

ControlClient::ControlClient() : hasBus_(SessionBus::exists() && QDBusConnection::sessionBus().isConnected()) {}

bool ControlClient::instanceRunning() const
{
    return hasBus_ &&
           QDBusConnection::sessionBus().interface()->isServiceRegistered(SessionBusControl::serviceName).value();
}

ControlClient::Answer ControlClient::call(const std::string& method, const std::vector<Argument>& arguments) const
{
    QDBusMessage message =
        methodCall(QString::fromLatin1(SessionBusControl::interfaceName), QString::fromStdString(method));
    for (const Argument& argument : arguments) {
        if (const bool* flag = std::get_if<bool>(&argument))
            message << *flag;
        else
            message << QString::fromStdString(std::get<std::string>(argument));
    }
    QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, callTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {errorText(reply), std::nullopt};
    if (!reply.arguments().isEmpty())
        return {std::nullopt, reply.arguments().constFirst().toBool()};
    return {};
}

ControlClient::Status ControlClient::status() const
{
    QDBusMessage message = methodCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << QString::fromLatin1(SessionBusControl::interfaceName);
    QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, callTimeoutMilliseconds);
    Status status;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        status.error = errorText(reply);
        return status;
    }
    QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    QString code, badge, name, source;
    const QDBusArgument language = properties.value(QStringLiteral("Language")).value<QDBusArgument>();
    language.beginStructure();
    language >> code >> badge >> name >> source;
    language.endStructure();
    status.state = {code.toStdString(),
                    badge.toStdString(),
                    name.toStdString(),
                    source.toStdString(),
                    stringValue(properties, "Style"),
                    properties.value(QStringLiteral("LeftHanded")).toBool()};
    return status;
}

bool ControlClient::waitUntilGone(double seconds) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (instanceRunning()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
