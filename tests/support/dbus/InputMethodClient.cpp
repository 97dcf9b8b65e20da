#include "support/dbus/InputMethodClient.h"

#include "platform/input/IbusAddress.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>

// A client hint, (ss), for a new Fcitx 5 input context.
struct Hint {
    QString name, value;
};
Q_DECLARE_METATYPE(Hint)

QDBusArgument& operator<<(QDBusArgument& argument, const Hint& hint)
{
    argument.beginStructure();
    argument << hint.name << hint.value;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Hint& hint)
{
    argument.beginStructure();
    argument >> hint.name >> hint.value;
    argument.endStructure();
    return argument;
}

namespace {

bool answered(const QDBusConnection& connection, const QString& service, const QString& path,
              const QString& interface, const QString& method, const QVariantList& arguments,
              QDBusMessage* reply = nullptr)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusMessage answer = connection.call(message, QDBus::Block, 3000);
    if (reply)
        *reply = answer;
    return answer.type() == QDBusMessage::ReplyMessage;
}

}

namespace InputMethodClient {

void registerTypes()
{
    qDBusRegisterMetaType<Hint>();
    qDBusRegisterMetaType<QList<Hint>>();
}

bool selectIbusEngine(const QString& engine)
{
    std::optional<std::string> address = IbusAddress::find();
    if (!address)
        return false;
    const QString name = "input-method-panel";
    bool selected = answered(QDBusConnection::connectToBus(QString::fromStdString(*address), name),
                             "org.freedesktop.IBus", "/org/freedesktop/IBus", "org.freedesktop.IBus",
                             "SetGlobalEngine", {engine});
    QDBusConnection::disconnectFromBus(name);
    return selected;
}

bool focusFcitxContext(const QDBusConnection& session, const QString& program)
{
    QDBusMessage created;
    if (!answered(session, "org.fcitx.Fcitx5", "/org/freedesktop/portal/inputmethod", "org.fcitx.Fcitx.InputMethod1",
                  "CreateInputContext", {QVariant::fromValue(QList<Hint>{{"program", program}})}, &created))
        return false;
    QString context = created.arguments().first().value<QDBusObjectPath>().path();
    return answered(session, "org.fcitx.Fcitx5", context, "org.fcitx.Fcitx.InputContext1", "FocusIn", {});
}

bool selectFcitxInputMethod(const QDBusConnection& session, const QString& name)
{
    return answered(session, "org.fcitx.Fcitx5", "/controller", "org.fcitx.Fcitx.Controller1", "SetCurrentIM",
                    {name});
}

}
